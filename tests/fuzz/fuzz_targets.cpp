// The bodies of the libFuzzer targets, one per engine operation, each
// aborting on any difference from its oracle. fuzz_main.cpp is built once
// per target name and calls RunFuzzTarget with it.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "app/input_stage.h"
#include "app/parallel_run.h"
#include "app/result_writer.h"
#include "engine/pipeline.h"
#include "tests/engine/test_util.h"

namespace morvel::fuzz {
namespace {

using namespace test;

void Check(bool ok) {
    if (!ok) std::abort();
}

// A conversion. The first byte steers the run: the starting read position
// of a byte-wise conversion (0 unless the byte is 0xC0 or more), whether the
// destination already holds a byte, and the largest piece fed to the
// converter; the rest is the text. At every vector level, the operation, its
// chain and a roomy destination give the reference's bytes and read
// position, also with the text behind 1 to 63 bytes of ASCII (so that its
// bytes meet every lane of every block) and repeated into a long text; the
// converter, fed byte by byte and in random pieces, gives the reference's
// bytes on the text.
void FuzzConversion(const Conversion& c, const uint8_t* data, size_t size) {
    if (size == 0) return;
    const uint8_t control = data[0];
    const Bytes text(data + 1, data + size);
    const int64_t pos = c.byteWise && control >= 0xC0 ? control - 0xC1 : 0;
    const Bytes before = control & 1 ? Bytes{0x55} : Bytes{};
    Check(MatchesReference(c, text, pos, before));
    for (size_t n = 1; n <= kMaxPrefix; ++n) Check(MatchesReference(c, Concat(InputPrefix(c, n), text), 0, before, false));
    // Repeated past 16 KiB, where long texts take paths of their own.
    if (!text.empty()) {
        Bytes repeated;
        while (repeated.size() < 17 * 1024) repeated.insert(repeated.end(), text.begin(), text.end());
        Check(MatchesReference(c, repeated, 0, before, false));
    }
    if (!c.converter || (text.empty() && !c.byteWise)) return;  // the chains leave their destination alone then
    const Bytes whole = Apply(c.reference, text).out;
    std::mt19937 rng(control);
    for (VectorLevel level : VectorLevels()) {
        const AtLevel at(level);
        for (size_t maxPiece : {size_t{1}, 1 + size_t{control} / 2 % 24, size_t{100}}) {
            Check(FeedInPieces(*c.converter, text, RandomCuts(rng, text.size(), maxPiece)) == whole);
        }
    }
}

// One of the listed results, the text unchanged, a bounded look; the same
// result and read position at every vector level, also behind 1 to 63 bytes
// of ASCII.
void FuzzDetectEncoding(const uint8_t* data, size_t size) {
    CByteStream s;
    Fill(s, Bytes(data, data + size));
    const EncodingId id = DetectEncoding(s);
    Check(id == Undetermined || id == ShiftJis || id == Jis || id == EucJp || id == Unicode || id == Utf8);
    Check(ToBytes(s) == Bytes(data, data + size));
    Check(s.ReadPos() >= 0 && s.ReadPos() <= static_cast<int64_t>(size) && s.ReadPos() <= 0x10000 + 4);
    const Bytes text(data, data + size);
    for (size_t n = 0; n <= kMaxPrefix; ++n) Check(DetectsAlikeAtEveryLevel(Concat(AsciiPrefix(n), text)));
}

// The dump against the reference's at every vector level, also behind 1 to
// 15 bytes of ASCII (so that each byte meets every column), into a
// destination that holds the last dump and a byte more (at first the byte
// alone); the source's read position is not used and the dump's ends at 0.
void FuzzFormatHexDump(const uint8_t* data, size_t size) {
    CByteStream fast;
    for (size_t n = 0; n < 16; ++n) {
        CByteStream src, ref;
        Fill(src, Concat(AsciiPrefix(n), Bytes(data, data + size)));
        if (size > 0) src.SetReadPos(data[0]);
        reference::FormatHexDump(src, ref);
        for (VectorLevel level : VectorLevels()) {
            const AtLevel at(level);
            fast.Append(0x55);
            fast.SetReadPos(1);
            FormatHexDump(src, fast);
            Check(fast.ReadPos() == 0 && ref.ReadPos() == 0 && ToBytes(fast) == ToBytes(ref));
        }
    }
}

// A run's input stage and stages on a text in memory, read in small blocks,
// against the loaded text through the whole-text stages one after the
// other. The first two bytes choose the plan (the input mode may be
// AutoDetect), the head and the block size; the rest is the text as read. The loaded
// text is built here literally: the bytes, one 0x00, and for UTF-16 zeros
// until a whole zero code unit ends it; a file holds the result without its
// last two zero bytes.
void FuzzConversionPipelineOn(const uint8_t control[2], const Bytes& text, int64_t longBlock = 0) {
    static const EncodingId kModes[] = {ShiftJis, Jis, EucJp, Unicode, Utf8, Undetermined, AutoDetect};
    const EncodingId requested = kModes[control[0] % 7];
    ConversionPlan plan;
    plan.output = kModes[(control[0] / 7) % 6];
    plan.convertKana = control[1] & 1;
    plan.kanaToHalf = control[1] & 2;
    plan.convertAlnum = control[1] & 4;
    plan.alnumToHalf = control[1] & 8;
    const int64_t block = longBlock > 0 ? longBlock : 1 + (control[1] >> 4) * 7;

    CInputStage input(block, (control[1] & 0x80) ? 1 + control[0] % 64 : kDetectionHeadBytes);
    input.SetText(text.data(), static_cast<int64_t>(text.size()), false);
    Check(input.ReadHead() == 0);
    plan.input = input.ResolveMode(requested);
    const bool marked = text.size() >= 2 && ((text[0] == 0xFF && text[1] == 0xFE) || (text[0] == 0xFE && text[1] == 0xFF));
    Check(plan.input == (marked ? Unicode : requested) || (requested == AutoDetect && !marked));

    // The output as the file run writes it (CResultWriter), the writes on
    // their own thread for a third of the inputs.
    CConversionPipeline pipeline(plan);
    Bytes got;
    CResultWriter result(
        [&](const uint8_t* p, int64_t n) {
            got.insert(got.end(), p, p + n);
            return 0;
        },
        text.size() % 3 == 0 ? 0 : CWriteBehind::kInlineBytes);
    auto convert = [&](const uint8_t* p, int64_t n) { return result.Convert(pipeline, p, n); };
    Check(input.Pump(convert) == 0 && convert(nullptr, 0) == 0 && result.Close() == 0);

    const Bytes loaded = Loaded(text, plan.input);
    CByteStream whole;
    Fill(whole, loaded);
    reference::ConvertWholeText(plan, whole);
    Bytes want = ToBytes(whole);
    for (int i = 0; i < 2 && !want.empty() && want.back() == 0; ++i) want.pop_back();
    Check(got == want);

    // As a file converted on two threads at once, in blocks of the same
    // size.
    {
        Bytes cut;
        CParallelRun run(
            plan,
            [&](uint8_t* p, int64_t n, int64_t at) {
                n = std::max<int64_t>(0, std::min<int64_t>(n, static_cast<int64_t>(text.size()) - at));
                if (n > 0) std::memcpy(p, text.data() + at, static_cast<size_t>(n));
                return n;
            },
            [&](const uint8_t* p, int64_t n) {
                cut.insert(cut.end(), p, p + n);
                return 0;
            },
            block);
        Check(run.Run([](int64_t) { return 0; }) == 0 && run.Close() == 0);
        Check(cut == want);
    }
}

// The same at every vector level, and behind 1 to 63 bytes of ASCII at the
// widest; and repeated past 16 KiB, read in blocks that long, where the
// stages take paths of their own.
void FuzzConversionPipeline(const uint8_t* data, size_t size) {
    if (size < 2) return;
    const Bytes text(data + 2, data + size);
    for (VectorLevel level : VectorLevels()) {
        const AtLevel at(level);
        FuzzConversionPipelineOn(data, text);
    }
    for (size_t n = 1; n <= kMaxPrefix; ++n) FuzzConversionPipelineOn(data, Concat(AsciiPrefix(n), text));
    if (!text.empty()) {
        Bytes repeated;
        while (repeated.size() < 17 * 1024) repeated.insert(repeated.end(), text.begin(), text.end());
        FuzzConversionPipelineOn(data, repeated, 20 * 1024);
    }
}

// "SjisToUtf16Output" -> "sjis_to_utf16_output"
std::string SnakeCase(const char* name) {
    std::string out;
    for (const char* p = name; *p; ++p) {
        if (std::isupper(static_cast<unsigned char>(*p)) && p != name) out += '_';
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
    return out;
}

std::function<void(const uint8_t*, size_t)> Find(const std::string& name) {
    if (name == "detect_encoding") return FuzzDetectEncoding;
    if (name == "format_hex_dump") return FuzzFormatHexDump;
    if (name == "conversion_pipeline") return FuzzConversionPipeline;
    for (const Conversion& c : kConversions) {
        if (SnakeCase(c.name) == name) return [&c](const uint8_t* data, size_t size) { FuzzConversion(c, data, size); };
    }
    std::fprintf(stderr, "no fuzz target named %s\n", name.c_str());
    std::abort();
}

}  // namespace

int RunFuzzTarget(const char* name, const uint8_t* data, size_t size) {
    static const auto target = Find(name);
    target(data, size);
    return 0;
}

}  // namespace morvel::fuzz
