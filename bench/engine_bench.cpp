// engine_bench: throughput of every engine operation on real Japanese text.
//
// Loads the EUC-JP corpus files (bench/corpus/*.euc, made by
// bench/corpus.sh), derives their Shift-JIS, JIS, UTF-8 and UTF-16 forms with
// the engine itself, and times each operation in memory: the source is
// loaded once and rewound, the destination cleared before every repetition,
// as the conversion run does. Figures are MB (10^6 bytes) of the operation's
// input per second, best and median of the repetitions. The literal
// implementations in morvel::reference run on a smaller slice of the same
// text, next to the fast operation on that slice, for the speed-up; the two
// results are compared byte for byte there as well.
//
// DetectEncoding is timed per call, on every form of every corpus and on
// inputs built to make a detector read far more than it should.
//
// Memory: on virtual machines the first touch of fresh pages can cost more
// than the conversion itself (a few hundred MB/s), and a destination that is
// cleared and grown again gets fresh pages from the kernel every time. By
// default the allocator is told to keep freed memory in the process, so
// the figures are those of the operations; the first-touch rate of the
// machine is printed in the header. --cold leaves the allocator alone.
//
// Usage: engine_bench [--quick] [--cold] [--filter NAME] [--reps N] [--level L] [--cpu] [FILE.euc|DIR]...
//   --quick   8 MB of each corpus, 1 MB reference slice, 3 repetitions
//   --cold    fresh destination pages for every repetition
//   --filter  only the operations whose name contains NAME
//   --reps    repetitions per measurement (default 5)
//   --level   the engine's vector level: scalar, sse2 or avx2 (default: the
//             widest this processor runs)
//   --cpu     time by the thread's CPU time, not the wall clock (steadier on a
//             machine shared with other work)
// With no FILE or DIR the corpus directory of the source tree is used.

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <malloc.h>
#include <sys/mman.h>

#include "engine/engine.h"
#include "engine/reference/reference.h"

#ifndef MORVEL_BENCH_CORPUS_DIR
#define MORVEL_BENCH_CORPUS_DIR "bench/corpus"
#endif

namespace {

using morvel::CByteStream;
using Clock = std::chrono::steady_clock;

// The time an operation takes: wall-clock time, or with --cpu the CPU time
// of this thread, which leaves out the time other processes of a shared
// machine hold the core.
bool g_cpuTime = false;

double Seconds() {
    if (g_cpuTime) {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
    }
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// ---- Options ----------------------------------------------------------------

struct Options {
    bool quick = false;
    bool cold = false;
    std::string filter;
    int reps = 5;
    morvel::VectorLevel level = morvel::SupportedVectorLevel();
    int64_t corpusLimit = 0;            // bytes of EUC text per corpus; 0 = all
    int64_t referenceSlice = 8000000;   // bytes of EUC text for the reference
    std::vector<std::string> paths;
};

[[noreturn]] void Usage(const char* why, int status = 2) {
    std::fprintf(status ? stderr : stdout,
                 "engine_bench: %s\n"
                 "usage: engine_bench [--quick] [--cold] [--filter NAME] [--reps N] [--level L] [--cpu] "
                 "[FILE.euc|DIR]...\n",
                 why);
    std::exit(status);
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    bool repsGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick") {
            o.quick = true;
        } else if (a == "--cpu") {
            g_cpuTime = true;
        } else if (a == "--cold") {
            o.cold = true;
        } else if (a == "--filter") {
            if (++i >= argc) Usage("--filter needs a name");
            o.filter = argv[i];
        } else if (a == "--reps") {
            if (++i >= argc) Usage("--reps needs a number");
            o.reps = std::atoi(argv[i]);
            if (o.reps < 1) Usage("--reps needs a number of at least 1");
            repsGiven = true;
        } else if (a == "--level") {
            if (++i >= argc) Usage("--level needs scalar, sse2 or avx2");
            const std::string l = argv[i];
            if (l == "scalar") {
                o.level = morvel::VectorLevel::Scalar;
            } else if (l == "sse2") {
                o.level = morvel::VectorLevel::Sse2;
            } else if (l == "avx2") {
                o.level = morvel::VectorLevel::Avx2;
            } else {
                Usage("--level needs scalar, sse2 or avx2");
            }
            if (o.level > morvel::SupportedVectorLevel()) Usage("this processor does not run that level");
        } else if (a == "--help" || a == "-h") {
            Usage("benchmarks of the encoding engine", 0);
        } else if (a.rfind("--", 0) == 0) {
            Usage(("unknown option " + a).c_str());
        } else {
            o.paths.push_back(a);
        }
    }
    if (o.quick) {
        o.corpusLimit = 8000000;
        o.referenceSlice = 1000000;
        if (!repsGiven) o.reps = 3;
    }
    if (o.paths.empty()) o.paths.push_back(MORVEL_BENCH_CORPUS_DIR);
    return o;
}

bool Selected(const Options& o, const char* name) {
    return o.filter.empty() || std::strstr(name, o.filter.c_str()) != nullptr;
}

// ---- Streams ----------------------------------------------------------------

// The corpus file, cut at a line end to at most `limit` bytes (0 = whole),
// followed by the one 0x00 every loaded text carries.
bool LoadText(const std::string& path, int64_t limit, CByteStream& text) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fseek(f, 0, SEEK_END);
    int64_t size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    if (size < 0) {
        std::fclose(f);
        return false;
    }
    text.Resize(size + 1);
    const bool ok = std::fread(text.Data(), 1, size, f) == static_cast<size_t>(size);
    std::fclose(f);
    if (!ok) return false;
    if (limit > 0 && size > limit) {
        int64_t cut = limit;
        while (cut > 0 && text.Data()[cut - 1] != '\n') --cut;
        if (cut == 0) cut = limit;
        text.Resize(cut);
        text.Append(0);
    }
    return true;
}

// The first `limit` bytes of an EUC text, cut at a line end, terminated.
void SliceText(const CByteStream& text, int64_t limit, CByteStream& slice) {
    int64_t cut = std::min(limit, text.Size() - 1);
    while (cut > 0 && text.Data()[cut - 1] != '\n') --cut;
    if (cut == 0) cut = std::min(limit, text.Size() - 1);
    slice.Clear();
    slice.Resize(cut);
    std::memcpy(slice.Data(), text.Data(), cut);
    slice.Append(0);
}

bool SameBytes(const CByteStream& a, const CByteStream& b) {
    return a.Size() == b.Size() && std::memcmp(a.Data(), b.Data(), a.Size()) == 0;
}

double Mb(int64_t bytes) { return bytes / 1e6; }

// ---- The operations -----------------------------------------------------------

using Op = void (*)(CByteStream& src, CByteStream& dst);

// The forms of one text; every one ends with its terminator.
enum Form { kEuc, kSjis, kJis, kUtf8, kUtf16, kSjisHalfKana, kSjisFullAlnum, kFormCount };

const char* const kFormNames[kFormCount] = {
    "EUC-JP", "Shift-JIS", "JIS", "UTF-8", "UTF-16", "SJIS half-kana", "SJIS full-alnum",
};

struct Texts {
    CByteStream form[kFormCount];
};

struct Procedure {
    const char* name;
    Form input;
    Op fast;
    Op reference;
    double target;       // MB/s the best run must reach on the EDICT text; 0 = none
    double kanjiTarget;  // the same on the kanji-dense SKK text
};

// The floor every operation stands on: the input copied into the cleared
// destination through Reserve/Commit.
void CopyText(CByteStream& src, CByteStream& dst) {
    const int64_t n = src.Size();
    uint8_t* out = dst.Reserve(n);
    std::memcpy(out, src.Data(), static_cast<size_t>(n));
    dst.Commit(n);
}

const Procedure kProcedures[] = {
    {"Copy (memcpy)", kSjis, CopyText, CopyText, 0, 0},
    {"SjisToJis", kSjis, morvel::SjisToJis, morvel::reference::SjisToJis, 2500, 1200},
    {"JisToSjis", kJis, morvel::JisToSjis, morvel::reference::JisToSjis, 2500, 1200},
    {"SjisToEuc", kSjis, morvel::SjisToEuc, morvel::reference::SjisToEuc, 2500, 1200},
    {"EucToSjis", kEuc, morvel::EucToSjis, morvel::reference::EucToSjis, 2500, 1200},
    {"Utf8InputToSjis", kUtf8,
     [](CByteStream& s, CByteStream& d) { morvel::Utf8InputToSjis(s, d); },
     [](CByteStream& s, CByteStream& d) { morvel::reference::Utf8InputToSjis(s, d); }, 2000, 1200},
    {"SjisToUtf8Output", kSjis,
     [](CByteStream& s, CByteStream& d) { morvel::SjisToUtf8Output(s, d); },
     [](CByteStream& s, CByteStream& d) { morvel::reference::SjisToUtf8Output(s, d); }, 2000, 1200},
    {"Utf16InputToSjis", kUtf16,
     [](CByteStream& s, CByteStream& d) { morvel::Utf16InputToSjis(s, d); },
     [](CByteStream& s, CByteStream& d) { morvel::reference::FromUtf16(s, d, morvel::Unicode); },
     2000, 1200},
    {"SjisToUtf16Output", kSjis,
     [](CByteStream& s, CByteStream& d) { morvel::SjisToUtf16Output(s, d); },
     [](CByteStream& s, CByteStream& d) { morvel::reference::ToUtf16(s, d, morvel::Unicode); },
     2000, 1200},
    {"KanaToFullWidth", kSjis, morvel::KanaToFullWidth, morvel::reference::KanaToFullWidth, 2500, 1200},
    {"KanaToHalfWidth", kSjis, morvel::KanaToHalfWidth, morvel::reference::KanaToHalfWidth, 2500, 1200},
    {"AlnumToHalfWidth", kSjis, morvel::AlnumToHalfWidth, morvel::reference::AlnumToHalfWidth,
     2500, 1200},
    {"AlnumToFullWidth", kSjis, morvel::AlnumToFullWidth, morvel::reference::AlnumToFullWidth,
     2500, 1200},
    // The two foldings once more on text that has much to fold: the corpus
    // after the opposite folding.
    {"KanaToFullWidth", kSjisHalfKana, morvel::KanaToFullWidth,
     morvel::reference::KanaToFullWidth, 0, 0},
    {"AlnumToHalfWidth", kSjisFullAlnum, morvel::AlnumToHalfWidth,
     morvel::reference::AlnumToHalfWidth, 0, 0},
    {"FormatHexDump", kSjis,
     [](CByteStream& s, CByteStream& d) { morvel::FormatHexDump(s, d); },
     [](CByteStream& s, CByteStream& d) { morvel::reference::FormatHexDump(s, d); }, 1500, 1200},
};

void Run(Op op, CByteStream& src, CByteStream& dst) {
    src.SetReadPos(0);
    dst.Clear();
    op(src, dst);
}

// Makes every form from the EUC text in t.form[kEuc].
void MakeForms(Texts& t) {
    Run(morvel::EucToSjis, t.form[kEuc], t.form[kSjis]);
    Run(morvel::SjisToJis, t.form[kSjis], t.form[kJis]);
    Run([](CByteStream& s, CByteStream& d) { morvel::SjisToUtf8Output(s, d); }, t.form[kSjis],
        t.form[kUtf8]);
    Run([](CByteStream& s, CByteStream& d) { morvel::SjisToUtf16Output(s, d); }, t.form[kSjis],
        t.form[kUtf16]);
    Run(morvel::KanaToHalfWidth, t.form[kSjis], t.form[kSjisHalfKana]);
    Run(morvel::AlnumToFullWidth, t.form[kSjis], t.form[kSjisFullAlnum]);
}

struct Timing {
    double best = 0;    // MB/s
    double median = 0;  // MB/s
};

// A pause before each operation's timing: for a while after an operation
// with large buffers the machine runs slower, and the first operation timed
// then took 87 ns a call on 100 bytes instead of the 58 it takes alone.
void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }

Timing Measure(Op op, CByteStream& src, CByteStream& dst, int reps) {
    std::vector<double> rates;
    for (int r = 0; r < reps; ++r) {
        src.SetReadPos(0);
        dst.Clear();
        const double t0 = Seconds();
        op(src, dst);
        const double s = Seconds() - t0;
        rates.push_back(Mb(src.Size()) / std::max(s, 1e-9));
    }
    std::sort(rates.begin(), rates.end());
    return {rates.back(), rates[rates.size() / 2]};
}

struct Misses {
    std::vector<std::string> list;
};

// A column with the target and whether the best run meets it.
std::string TargetColumn(double target, double best, bool applies, const std::string& what,
                         Misses& misses) {
    if (target <= 0) return "-";
    char buf[64];
    if (!applies) {
        std::snprintf(buf, sizeof buf, "(>=%.0f)", target);
        return buf;
    }
    const bool ok = best >= target;
    std::snprintf(buf, sizeof buf, ">=%.0f %s", target, ok ? "ok" : "MISS");
    if (!ok) misses.list.push_back(what);
    return buf;
}

void DetectHeader();
void DetectRow(const Options& o, const std::string& label, CByteStream& text, Misses& misses);

// What a call costs on a short text: each operation on 100 bytes from the
// middle of the text in its input form, in nanoseconds per call (the best
// of the repetitions, each of 100,000 calls into a destination that keeps
// its storage, as the preview and the clipboard run call them).
void BenchShortTexts(const Options& o, Texts& slice) {
    constexpr int64_t kBytes = 100;
    constexpr int kCalls = 100000;
    std::printf("\n== Per call on %lld bytes of the text in the operation's input form\n",
                static_cast<long long>(kBytes));
    std::printf("%-18s %-16s %9s\n", "operation", "input", "ns/call");
    Settle();
    for (const Procedure& p : kProcedures) {
        if (!Selected(o, p.name) || p.fast == CopyText || p.input == kSjisHalfKana || p.input == kSjisFullAlnum)
            continue;
        const CByteStream& form = slice.form[p.input];
        CByteStream text, dst;
        const int64_t from = form.Size() / 2 & ~int64_t{1};  // a whole UTF-16 unit
        std::memcpy(text.Reserve(kBytes), form.Data() + from, kBytes);
        text.Commit(kBytes);
        double best = 1e30;
        for (int r = 0; r < o.reps; ++r) {
            const double t0 = Seconds();
            for (int i = 0; i < kCalls; ++i) {
                text.SetReadPos(0);
                dst.Discard();
                p.fast(text, dst);
            }
            best = std::min(best, (Seconds() - t0) / kCalls * 1e9);
        }
        std::printf("%-18s %-16s %9.1f\n", p.name, kFormNames[p.input], best);
    }
}

void BenchCorpus(const Options& o, const std::string& path, Misses& misses) {
    const std::string name = std::filesystem::path(path).filename().string();
    const bool isEdict = name.rfind("edict", 0) == 0;
    const bool isSkk = name.rfind("skk", 0) == 0;

    Texts full, slice;
    if (!LoadText(path, o.corpusLimit, full.form[kEuc])) {
        std::fprintf(stderr, "engine_bench: cannot read %s\n", path.c_str());
        std::exit(1);
    }
    SliceText(full.form[kEuc], o.referenceSlice, slice.form[kEuc]);
    MakeForms(full);
    MakeForms(slice);

    std::printf("\n== %s: EUC-JP %.1f MB, Shift-JIS %.1f MB, JIS %.1f MB, UTF-8 %.1f MB, "
                "UTF-16 %.1f MB; %d runs; reference on the first %.1f MB%s\n",
                name.c_str(), Mb(full.form[kEuc].Size()), Mb(full.form[kSjis].Size()),
                Mb(full.form[kJis].Size()), Mb(full.form[kUtf8].Size()),
                Mb(full.form[kUtf16].Size()), o.reps, Mb(slice.form[kEuc].Size()),
                isEdict ? "" : isSkk ? " (the kanji-dense targets)" : " (no targets for this text)");
    bool anyOp = false;
    for (const Procedure& p : kProcedures) anyOp = anyOp || Selected(o, p.name);
    if (anyOp) std::printf("%-18s %-16s %9s %9s %12s | %9s %9s %8s\n", "operation", "input", "best", "median",
                "target", "fast", "ref", "speed-up");
    if (anyOp) std::printf("%-18s %-16s %9s %9s %12s | %9s %9s %8s\n", "", "", "MB/s", "MB/s", "MB/s",
                "slice", "slice", "");

    CByteStream dst, refDst;
    for (const Procedure& p : kProcedures) {
        if (!Selected(o, p.name)) continue;
        Settle();
        const Timing fast = Measure(p.fast, full.form[p.input], dst, o.reps);
        dst.Clear();
        const Timing fastSlice = Measure(p.fast, slice.form[p.input], dst, o.reps);
        const Timing ref = Measure(p.reference, slice.form[p.input], refDst, std::min(o.reps, 3));
        const bool same = SameBytes(dst, refDst);
        dst.Clear();
        refDst.Clear();
        const std::string what = name + " " + p.name + " (" + kFormNames[p.input] + ")";
        const std::string target =
            TargetColumn(isSkk ? p.kanjiTarget : p.target, fast.best, isEdict || isSkk, what, misses);
        std::printf("%-18s %-16s %9.0f %9.0f %12s | %9.0f %9.1f %7.1fx%s\n", p.name,
                    kFormNames[p.input], fast.best, fast.median, target.c_str(), fastSlice.median,
                    ref.median, fastSlice.median / std::max(ref.median, 1e-9),
                    same ? "" : "  RESULT DIFFERS FROM REFERENCE");
        if (!same) misses.list.push_back(what + ": result differs from the reference");
        std::fflush(stdout);
    }

    if (isEdict) BenchShortTexts(o, slice);

    if (Selected(o, "DetectEncoding")) {
        std::printf("\n");
        DetectHeader();
        for (Form f : {kEuc, kSjis, kJis, kUtf8, kUtf16})
            DetectRow(o, name + " " + kFormNames[f], full.form[f], misses);
    }
}

// ---- Detection ------------------------------------------------------------------

const char* EncodingName(morvel::EncodingId id) {
    switch (id) {
    case morvel::Undetermined: return "Undetermined";
    case morvel::ShiftJis: return "ShiftJis";
    case morvel::Jis: return "Jis";
    case morvel::EucJp: return "EucJp";
    case morvel::Unicode: return "Unicode";
    case morvel::AutoDetect: return "AutoDetect";
    case morvel::Utf8: return "Utf8";
    }
    return "?";
}

volatile int g_sink;

void DetectRow(const Options& o, const std::string& label, CByteStream& text, Misses& misses) {
    // Calls timed one by one: at least 2 x reps, more while they are cheap.
    std::vector<double> us;
    morvel::EncodingId result = morvel::Undetermined;
    const auto start = Clock::now();
    const int minCalls = 2 * o.reps;
    while (static_cast<int>(us.size()) < minCalls ||
           (us.size() < 2000 && Clock::now() - start < std::chrono::milliseconds(50))) {
        text.SetReadPos(0);
        const double t0 = Seconds();
        result = morvel::DetectEncoding(text);
        const double t1 = Seconds();
        g_sink = result;
        us.push_back((t1 - t0) * 1e6);
    }
    std::sort(us.begin(), us.end());
    const double median = us[us.size() / 2];
    const bool ok = median < 1000.0;
    if (!ok) misses.list.push_back("DetectEncoding on " + label);
    std::printf("%-40s %11.1f %-13s %9.1f %9.1f %9.1f  <1000 %s\n", label.c_str(),
                Mb(text.Size()), EncodingName(result), us.front(), median, us.back(),
                ok ? "ok" : "MISS");
    std::fflush(stdout);
}

void DetectHeader() {
    std::printf("%-40s %11s %-13s %9s %9s %9s  %s\n", "DetectEncoding input", "MB", "result",
                "best us", "median us", "worst us", "target us");
}

void FillRepeated(CByteStream& s, const char* pattern, size_t patternLen, int64_t bytes) {
    s.Clear();
    s.Resize(bytes + 1);
    uint8_t* p = s.Data();
    for (int64_t i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(pattern[i % patternLen]);
    p[bytes] = 0;
}

void BenchDetectAdversarial(const Options& o, Misses& misses) {
    std::printf("\n== DetectEncoding on adversarial inputs\n");
    DetectHeader();
    CByteStream s;
    const int64_t k64 = 65536;
    const int64_t big = o.quick ? 16000000 : 100000000;

    FillRepeated(s, "\x81", 1, k64);
    DetectRow(o, "64 KiB of 81", s, misses);
    FillRepeated(s, "\x1b$B", 3, k64);
    DetectRow(o, "64 KiB of ESC $ B", s, misses);
    FillRepeated(s, "\x81\x20", 2, k64);
    DetectRow(o, "64 KiB of 81 20 (lead, invalid trail)", s, misses);
    FillRepeated(s, "\xfc\xfd", 2, k64);
    DetectRow(o, "64 KiB of FC FD (lead, invalid trail)", s, misses);
    FillRepeated(s, "\x1b$B\x30", 4, k64);
    DetectRow(o, "64 KiB of ESC $ B 30", s, misses);

    // One lead byte, then only bytes that cannot be its trail: a detector
    // that keeps looking for the trail reads the whole stream.
    FillRepeated(s, " ", 1, big);
    s.Data()[0] = 0x81;
    DetectRow(o, "81 then " + std::to_string(big / 1000000) + " MB of 20", s, misses);
    // The same for an EUC-JP first byte followed by ASCII.
    FillRepeated(s, "a", 1, big);
    s.Data()[0] = 0xA1;
    DetectRow(o, "A1 then " + std::to_string(big / 1000000) + " MB of 'a'", s, misses);
    // A large stream whose only 0x00 is the last byte.
    FillRepeated(s, "abcdefgh", 8, big);
    DetectRow(o, std::to_string(big / 1000000) + " MB of ASCII, 00 at the end", s, misses);
    FillRepeated(s, "\x82\xa0", 2, big);
    DetectRow(o, std::to_string(big / 1000000) + " MB of 82 A0, 00 at the end", s, misses);
}

std::vector<std::string> CorpusFiles(const Options& o) {
    std::vector<std::string> files;
    for (const std::string& p : o.paths) {
        std::error_code ec;
        if (std::filesystem::is_directory(p, ec)) {
            std::vector<std::string> found;
            for (const auto& e : std::filesystem::directory_iterator(p, ec))
                if (e.path().extension() == ".euc") found.push_back(e.path().string());
            std::sort(found.begin(), found.end());
            files.insert(files.end(), found.begin(), found.end());
        } else {
            files.push_back(p);
        }
    }
    return files;
}

// MB/s at which this machine hands out and maps fresh pages: 64 MiB mapped
// and written once.
double FirstTouchRate() {
    const size_t n = size_t{64} << 20;
    const auto t0 = Clock::now();
    void* p = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return 0;
    std::memset(p, 1, n);
    const auto t1 = Clock::now();
    munmap(p, n);
    return Mb(static_cast<int64_t>(n)) / std::chrono::duration<double>(t1 - t0).count();
}

}  // namespace

namespace {
const char* LevelName(morvel::VectorLevel level) {
    switch (level) {
    case morvel::VectorLevel::Scalar: return "scalar";
    case morvel::VectorLevel::Sse2: return "SSE2";
    case morvel::VectorLevel::Avx2: return "AVX2";
    }
    return "?";
}
}  // namespace

int main(int argc, char** argv) {
    const Options o = ParseOptions(argc, argv);
    morvel::SetVectorLevel(o.level);
    const std::vector<std::string> files = CorpusFiles(o);
    if (files.empty()) {
        std::fprintf(stderr, "engine_bench: no *.euc corpus found; run bench/corpus.sh first\n");
        return 1;
    }

    std::printf("engine_bench: %s, %s build, %d runs per figure%s, vector level %s\n", __VERSION__,
#ifdef NDEBUG
                "optimised",
#else
                "UNOPTIMISED (assertions on)",
#endif
                o.reps, o.quick ? ", quick" : "", LevelName(morvel::ActiveVectorLevel()));
    std::printf("MB = 10^6 bytes of the operation's input. Throughput targets are checked\n"
                "against the best run (the machine is shared; the median shows the spread),\n"
                "DetectEncoding against the median call. Speed-up: fast operation against\n"
                "the reference, both on the slice.\n");
    const double touch = FirstTouchRate();
    if (o.cold) {
        std::printf("Destination pages: fresh from the kernel every repetition (--cold); first\n"
                    "touch of fresh memory on this machine: %.0f MB/s.\n", touch);
    } else {
        // Freed memory stays in the process: no mmap for large blocks, no trim.
        mallopt(M_MMAP_MAX, 0);
        mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
        mallopt(M_TOP_PAD, 64 << 20);
        std::printf("Destination pages: kept by the allocator between repetitions (first touch\n"
                    "of fresh memory on this machine: %.0f MB/s; --cold to include it).\n", touch);
    }

    Misses misses;
    for (const std::string& path : files) BenchCorpus(o, path, misses);
    if (Selected(o, "DetectEncoding")) BenchDetectAdversarial(o, misses);

    std::printf("\n");
    if (misses.list.empty()) {
        std::printf("All targets met.\n");
    } else {
        std::printf("%zu target(s) missed:\n", misses.list.size());
        for (const std::string& m : misses.list) std::printf("  MISS %s\n", m.c_str());
    }
    return 0;
}
