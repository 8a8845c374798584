// A file run's result from the stages to the file (see CResultWriter).
#pragma once

#include <cstdint>
#include <functional>

#include "app/input_stage.h"
#include "app/write_behind.h"
#include "engine/pipeline.h"

namespace morvel {

// A file run's result on its way to the file: each block is converted
// straight into the write-behind's stream, behind the bytes the output tail
// held back, so that a block goes out in one write and the end of the text
// is decided by COutputTail as for any output.
class CResultWriter {
public:
    explicit CResultWriter(CWriteBehind::Write write, int64_t inlineBytes = CWriteBehind::kInlineBytes);

    void WhenIdle(std::function<bool()> work) { writer_.WhenIdle(std::move(work)); }
    // Converts `n` bytes at `p` through `pipeline` (p null: finishes it) and
    // sends the result: 0, or the errno value of the first failed write.
    int Convert(CConversionPipeline& pipeline, const uint8_t* p, int64_t n);
    // Bytes of result so far.
    int64_t Total() const { return tail_.Total(); }
    // The end: drops up to two trailing 0x00, writes the rest and waits for
    // every write. 0 or the errno value of the first failed write.
    int Close();
    // Waits for the writes in progress; nothing more is written.
    void Abandon() { writer_.Finish(); }

private:
    CWriteBehind writer_;
    COutputTail tail_;
};

}  // namespace morvel
