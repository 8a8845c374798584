// A large regular file converted on two threads at once, each reading,
// converting and writing its own stretches of the text. Where one thread
// converts and the other reads and writes (CInputStage, CWriteBehind), the
// run takes as long as the conversion, however little the reads and writes
// cost; here both threads share all three, and the bytes a thread reads,
// converts and writes stay in its processor's cache.
//
// The file is looked at in blocks of blockBytes. A segment of the text
// starts at the first cut point (CConversionPipeline::NextCut) in a block
// and runs to the first cut point in a later block, or to the end; a block
// without one belongs to the segment before it. The threads take the
// blocks in turn; each converts the segments that start in its blocks with
// a pipeline of its own (told ContinueText but at the start of the text),
// reading them at their offsets, so neither waits for the other to read.
// Both threads look for the first cut point of the blocks they meet, and
// the first to look decides it for both, so that the segments meet end to
// start even when the file changes while it is read. The results go out in
// order, each segment's as soon as the one before it is written; what a
// thread converts ahead of its turn waits in memory, up to kAheadBytes.
//
// The bytes written are those of the one-thread run: the text, the
// loader's 0x00 behind it, the end of the text where a stage meets it
// (nothing after that is written), and the output tail's rule (COutputTail).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <mutex>

#include "app/input_stage.h"
#include "engine/pipeline.h"

namespace morvel {

class CParallelRun {
public:
    // `n` bytes at `offset` into p: the count, fewer only where the file
    // ends, or -1 when the read failed. Called from both threads at once.
    using ReadAt = std::function<int64_t(uint8_t* p, int64_t n, int64_t offset)>;
    // 0 or an errno value; called by one thread at a time, in order.
    using Write = std::function<int(const uint8_t* p, int64_t n)>;
    // Input bytes done so far: 0 to go on, anything else stops the run with
    // that value. Called on the caller's thread only.
    using Progress = std::function<int(int64_t done)>;

    static constexpr int64_t kBlockBytes = 256 << 10;
    static constexpr int64_t kAheadBytes = 8 << 20;

    // Blocks of an odd size are made a byte longer, so that UTF-16's units
    // never straddle two.
    CParallelRun(const ConversionPlan& plan, ReadAt read, Write write, int64_t blockBytes = kBlockBytes);
    CParallelRun(const CParallelRun&) = delete;
    CParallelRun& operator=(const CParallelRun&) = delete;

    // Converts the file on the caller's thread and one more (or on the
    // caller's alone when no thread can be had): 0, CInputStage::kReadFailed,
    // the errno value of the first failed write, or the value that stopped
    // Progress. Rethrows what a conversion threw (std::bad_alloc). Call once.
    int Run(const Progress& progress);
    // Result bytes so far (held ones included).
    int64_t Total() const { return tail_.Total(); }
    // The end of the output: drops up to two trailing 0x00 and writes the
    // rest. 0 or an errno value.
    int Close() { return tail_.Close(); }

private:
    struct Worker;
    void Work(Worker& worker);
    int64_t ReadBlock(Worker& worker, int64_t b, int64_t from, int64_t to);
    int64_t FirstCut(const Worker& worker, int64_t n) const;
    int64_t Decide(int64_t b, int64_t found);
    int64_t ConvertSegment(Worker& worker, int64_t b, int64_t n, int64_t cut);
    // Whether a segment may write: not yet, its turn, passed over (the
    // segment before it took it in), or the run is over for it.
    enum class Turn { kWaiting, kMine, kPassed, kOver };
    bool Pass(Worker& worker, int64_t block, Turn& turn);
    // Waits until the segment starting in `block` may write, is passed over
    // or the run is over for it.
    Turn WaitForTurn(int64_t block);
    void Drop(Worker& worker);
    int Flush(Worker& worker);
    void Fail(int result);
    bool Stopped();

    ConversionPlan plan_;
    ReadAt read_;
    Write write_;
    int64_t blockBytes_;
    int stride_ = 1;  // threads at work: each takes every stride_-th block
    const Progress* progress_ = nullptr;
    COutputTail tail_;

    std::mutex mutex_;
    std::condition_variable turned_;  // turn_, done_ or result_ changed
    // The block whose segment writes next, the largest value once the run
    // is over; changed under the mutex, watched without it (WaitForTurn).
    std::atomic<int64_t> turn_ = 0;
    // Waits for the turn that watching it caught, and that it missed.
    std::atomic<int> watchCatches_ = 0, watchMisses_ = 0;
    bool done_ = false;       // the last segment is written
    int result_ = 0;          // the first failure
    int64_t written_ = 0;     // input bytes whose result has gone out
    std::map<int64_t, int64_t> cuts_;  // blocks one worker has decided (Decide), by block
    std::exception_ptr thrown_;
};

}  // namespace morvel
