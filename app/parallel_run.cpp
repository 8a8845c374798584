#include "app/parallel_run.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>

namespace morvel {

namespace {

// Bytes read in front of a block, for NextCut to look at before a line feed
// that ends right at the block's start: a cache line, so that the reads
// stay aligned.
constexpr int64_t kBefore = 64;
// Room at the front of a worker's result for the bytes the output tail
// holds back, written together with it (COutputTail::TakeBehind).
constexpr int64_t kRoom = 2;
// What is read first of a block that ends a segment, where its first cut
// point usually lies.
constexpr int64_t kProbeBytes = 4096;
// How long a worker watches for its turn before it sleeps: about the time
// of the write before it (a block takes 50-100 us to write).
constexpr std::chrono::microseconds kWatch{150};

inline void Relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

}  // namespace

struct CParallelRun::Worker {
    explicit Worker(int i, int64_t blockBytes)
        : index(i), buffer(std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(kBefore + blockBytes))) {}

    const uint8_t* Data() const { return buffer.get() + kBefore; }  // the block

    int index;
    std::unique_ptr<uint8_t[]> buffer;  // kBefore bytes, then the block
    CByteStream out;                    // kRoom bytes, then what is converted and not yet written
    int64_t converted = 0;              // input bytes whose result is in `out` or written
};

CParallelRun::CParallelRun(const ConversionPlan& plan, ReadAt read, Write write, int64_t blockBytes)
    : plan_(plan), read_(std::move(read)), write_(std::move(write)),
      blockBytes_(std::max<int64_t>(2, blockBytes + blockBytes % 2)),  // whole UTF-16 units
      tail_([this](const uint8_t* p, int64_t n) { return write_(p, n); }) {}

int CParallelRun::Run(const Progress& progress) {
    Worker first(0, blockBytes_), second(1, blockBytes_);
    progress_ = &progress;
    stride_ = 2;
    std::thread helper;
    try {
        helper = std::thread([&] { Work(second); });
    } catch (const std::system_error&) {
        stride_ = 1;  // no thread to be had: every block on this one
    }
    Work(first);
    if (helper.joinable()) helper.join();
    if (thrown_) std::rethrow_exception(thrown_);
    return result_;
}

void CParallelRun::Fail(int result) {
    std::lock_guard lock(mutex_);
    if (result_ == 0) result_ = result;
    turn_.store(std::numeric_limits<int64_t>::max(), std::memory_order_release);
    turned_.notify_all();
}

bool CParallelRun::Stopped() {
    std::lock_guard lock(mutex_);
    return result_ != 0 || done_;
}

CParallelRun::Turn CParallelRun::WaitForTurn(int64_t block) {
    // The turn usually comes within a write's time: watched for that long
    // before sleeping, so that the writes go on without a wake-up's delay
    // between two segments: on 100 MB, EUC-JP to Shift-JIS 58.0 -> 48.0
    // ms, Shift-JIS to UTF-16 81.7 -> 72.3; the dearer conversions, whose
    // writes wait less, as they were.
    // Where the turn keeps not coming in that time (other programs hold the
    // processors, and the writing worker waits for one), watching only takes
    // processor time from it: a worker then watches no more once its misses
    // outnumber an eighth of its catches.
    if (watchMisses_.load(std::memory_order_relaxed) * 8 <= watchCatches_.load(std::memory_order_relaxed) + 16) {
        const auto until = std::chrono::steady_clock::now() + kWatch;
        bool caught = true;
        while (turn_.load(std::memory_order_acquire) < block) {
            for (int i = 0; i < 32; ++i) Relax();
            if (std::chrono::steady_clock::now() >= until) {
                caught = false;
                break;
            }
        }
        (caught ? watchCatches_ : watchMisses_).fetch_add(1, std::memory_order_relaxed);
    }
    std::unique_lock lock(mutex_);
    turned_.wait(lock, [&] { return turn_ >= block || done_ || result_ != 0; });
    if (done_ || result_ != 0) return Turn::kOver;
    return turn_ == block ? Turn::kMine : Turn::kPassed;
}

void CParallelRun::Drop(Worker& worker) {
    worker.out.Discard();
    worker.out.Reserve(kRoom);
    worker.out.Commit(kRoom);
}

// Reads block b's bytes from `from` to `to` into the worker's buffer, and
// for from 0 the kBefore bytes in front of the block: how far the block
// then reaches (less than `to` only where the file ends), or -1.
int64_t CParallelRun::ReadBlock(Worker& worker, int64_t b, int64_t from, int64_t to) {
    const int64_t offset = b * blockBytes_ + from;
    const int64_t before = from > 0 ? 0 : std::min(offset, kBefore);
    const int64_t got = read_(worker.buffer.get() + kBefore + from - before, before + to - from, offset - before);
    if (got < 0) return -1;
    return from + std::max<int64_t>(got - before, 0);
}

// The first cut point in the `n` bytes of the worker's block, as an offset
// in the block, or -1.
int64_t CParallelRun::FirstCut(const Worker& worker, int64_t n) const {
    const int64_t found = CConversionPipeline::NextCut(plan_, worker.buffer.get(), kBefore + n, kBefore);
    return found < 0 ? -1 : found - kBefore;
}

// The first cut point of block b as the run takes it: `found`, unless the
// other worker has decided the block first. Both workers look at the
// blocks they meet, and the first to look decides for both: so segments
// meet end to start even when the file changes while it is read. A
// decision is kept until the turn has passed its block.
int64_t CParallelRun::Decide(int64_t b, int64_t found) {
    std::lock_guard lock(mutex_);
    return cuts_.try_emplace(b, found).first->second;
}

void CParallelRun::Work(Worker& worker) {
    try {
        for (int64_t b = worker.index; !Stopped();) {
            const int64_t n = ReadBlock(worker, b, 0, blockBytes_);
            if (n < 0) return Fail(CInputStage::kReadFailed);
            if (n == 0 && b > 0) return;  // past the end of the file
            const int64_t cut = b == 0 ? 0 : Decide(b, FirstCut(worker, n));
            if (cut < 0) {
                b += stride_;  // the block belongs to a segment before it
                continue;
            }
            const int64_t next = ConvertSegment(worker, b, n, std::min(cut, n));
            if (next < 0) return;
            // On from the block where the next segment starts, if it is this
            // worker's, or else from this worker's first block after it.
            b = next + (worker.index - next % stride_ + stride_) % stride_;
        }
    } catch (...) {
        {
            std::lock_guard lock(mutex_);
            if (!thrown_) thrown_ = std::current_exception();
        }
        Fail(CInputStage::kReadFailed);  // stops the other worker; Run rethrows
    }
}

// Hands what `worker` converted to the output, the worker's turn being
// held: 0 or the write's errno value.
int CParallelRun::Flush(Worker& worker) {
    const int64_t n = worker.out.Size() - kRoom;
    const int err = n > 0 ? tail_.TakeBehind(worker.out.Data() + kRoom, n) : 0;
    Drop(worker);
    std::lock_guard lock(mutex_);
    written_ = worker.converted;
    return err;
}

// Between blocks of a segment: writes what is converted when it is the
// segment's turn, drops it once the segment is passed over, waits for the
// turn when too much waits in memory, and tells the progress on the
// caller's thread. False when the run is over for this segment.
bool CParallelRun::Pass(Worker& worker, int64_t block, Turn& turn) {
    int64_t written;
    {
        std::lock_guard lock(mutex_);
        if (done_ || result_ != 0) return false;
        if (turn_ >= block) turn = turn_ == block ? Turn::kMine : Turn::kPassed;
        written = written_;
    }
    if (turn == Turn::kWaiting && worker.out.Size() > kAheadBytes) {
        turn = WaitForTurn(block);
        if (turn == Turn::kOver) return false;
    }
    if (turn == Turn::kPassed) Drop(worker);
    if (turn == Turn::kMine) {
        if (const int err = Flush(worker)) {
            Fail(err);
            return false;
        }
    }
    if (worker.index == 0 && *progress_) {
        if (const int r = (*progress_)(written)) {
            Fail(r);
            return false;
        }
    }
    return true;
}

// Converts the segment that starts `cut` bytes into block b (read, n
// bytes): the block where the next segment starts, or -1 when the text
// ends in this one or the run is over. A segment whose pipeline is not at
// rest at its end (JIS in another shift state) goes on through the next
// one, which its own worker then finds passed over (its turn never comes)
// and drops.
int64_t CParallelRun::ConvertSegment(Worker& worker, int64_t b, int64_t n, int64_t cut) {
    CConversionPipeline pipeline(plan_);
    if (b > 0) pipeline.ContinueText();
    Drop(worker);
    Turn turn = Turn::kWaiting;
    pipeline.Feed(worker.Data() + cut, n - cut, worker.out);
    worker.converted = b * blockBytes_ + n;
    int64_t next = -1;
    int64_t length = n;
    for (int64_t block = b; !pipeline.Ended();) {
        if (!Pass(worker, b, turn)) return -1;
        if (length < blockBytes_) {  // the file ends in this block: what the loader adds
            const int64_t total = block * blockBytes_ + length;
            const uint8_t* const at = worker.Data() + length;
            uint8_t end[4];
            const int count = CInputStage::EndBytes(total, total > 1 ? at[-2] : 0, total > 0 ? at[-1] : 0, false,
                                                    plan_.input == Unicode, end);
            pipeline.Feed(end, count, worker.out);
            break;
        }
        // The next block up to its first cut point, where the other worker
        // (or this one) goes on: its head, and the rest (readRest) where the
        // head holds no cut point, where the cut decided lies beyond it, or
        // where this segment goes on through the next.
        ++block;
        const int64_t head = std::min(kProbeBytes, blockBytes_);
        length = ReadBlock(worker, block, 0, head);
        bool headOnly = length == head && head < blockBytes_;
        auto readRest = [&] {
            if (headOnly) length = ReadBlock(worker, block, length, blockBytes_);
            headOnly = false;
            return length >= 0;
        };
        int64_t found = length > 0 ? FirstCut(worker, length) : -1;
        if (found < 0 && headOnly) {
            if (!readRest()) break;
            if (length > 0) found = FirstCut(worker, length);
        }
        int64_t to = length > 0 ? Decide(block, found) : -1;
        // Decided beyond what was read, by the other worker reading the
        // file as it changed: a cut beyond the end is none.
        if ((to < 0 || to > length) && !readRest()) break;
        if (to > length) to = -1;
        pipeline.Feed(worker.Data(), to < 0 ? length : to, worker.out);
        worker.converted = block * blockBytes_ + (to < 0 ? length : to);
        if (to < 0 || pipeline.Ended()) continue;
        if (turn == Turn::kPassed || pipeline.AtRest()) {
            next = block;
            break;
        }
        // On through the next segment.
        if (!readRest()) break;
        pipeline.Feed(worker.Data() + to, length - to, worker.out);
        worker.converted = block * blockBytes_ + length;
    }
    if (length < 0) {
        Fail(CInputStage::kReadFailed);
        return -1;
    }
    if (turn == Turn::kWaiting) turn = WaitForTurn(b);
    if (turn == Turn::kPassed) return next;  // the segment before took this one in
    if (turn == Turn::kOver) return -1;
    if (next < 0) pipeline.Finish(worker.out);
    if (const int err = Flush(worker)) {
        Fail(err);
        return -1;
    }
    std::lock_guard lock(mutex_);
    if (next < 0) {
        done_ = true;
        turn_.store(std::numeric_limits<int64_t>::max(), std::memory_order_release);
    } else {
        turn_.store(next, std::memory_order_release);
        cuts_.erase(cuts_.begin(), cuts_.lower_bound(next));  // decided for good
    }
    turned_.notify_all();
    return next;
}

}  // namespace morvel
