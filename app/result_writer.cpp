#include "app/result_writer.h"

namespace morvel {

CResultWriter::CResultWriter(CWriteBehind::Write write, int64_t inlineBytes)
    : writer_(std::move(write), inlineBytes), tail_([this](const uint8_t* p, int64_t n) {
          writer_.Put(p, n);
          return 0;
      }) {}

int CResultWriter::Convert(CConversionPipeline& pipeline, const uint8_t* p, int64_t n) {
    CByteStream& result = writer_.Block();
    tail_.Lead(result);
    if (p != nullptr)
        pipeline.Feed(p, n, result);
    else
        pipeline.Finish(result);
    tail_.Take(result.Data(), result.Size());
    return writer_.Send();
}

int CResultWriter::Close() {
    tail_.Close();
    const int err = writer_.Send();
    const int last = writer_.Finish();
    return err != 0 ? err : last;
}

}  // namespace morvel
