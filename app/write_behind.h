// Writing a file's output on a thread of its own, so that reading and
// converting the next block overlaps writing the last one: on two cores a
// long run then takes about as long as the slower of its two halves instead
// of their sum.
//
// The run converts each block into a stream it takes from here (Block), puts
// what is to be written (Put: the bytes of that stream by reference, anything
// else copied) and hands the block over (Send). A few streams go round, so
// converting never waits for the disk unless the disk is the slower half, and
// memory stays a few blocks whatever the size of the file.
//
// A short output is written on the caller's thread as it is sent; the thread
// starts only once kInlineBytes have gone that way, so a small run costs no
// thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/byte_stream.h"

namespace morvel {

class CWriteBehind {
public:
    using Write = std::function<int(const uint8_t* p, int64_t n)>;
    static constexpr int64_t kInlineBytes = 1 << 20;

    explicit CWriteBehind(Write write, int64_t inlineBytes = kInlineBytes);
    ~CWriteBehind();  // Finish, if the caller has not
    CWriteBehind(const CWriteBehind&) = delete;
    CWriteBehind& operator=(const CWriteBehind&) = delete;

    // Work for the thread when it has nothing to write (reading the input
    // ahead), done while it returns true and filling the batches has so far
    // taken longer than writing them. It must not throw. Set before the
    // first Send.
    void WhenIdle(std::function<bool()> work) { idle_ = std::move(work); }

    // The (empty) stream for the next block's result; waits while every
    // stream is still being written.
    CByteStream& Block();
    // Queues `n` bytes after those put before: bytes of Block's stream are
    // written from there, any others copied now.
    void Put(const uint8_t* p, int64_t n);
    // Hands over what was put since the last Send. 0, or the errno value of
    // the first write that failed (from then on nothing more is written).
    int Send();
    // Waits until everything sent is written and stops the thread; what was
    // put but not sent is dropped. 0 or the first write's errno value. The
    // write function is not called after Finish returns.
    int Finish();

private:
    // One block: its stream and the pieces to write, in order.
    struct Batch {
        struct Piece {
            int64_t offset;  // in stream, or in copies when copied
            int64_t length;
            bool copied;
        };
        CByteStream stream;
        std::vector<Piece> pieces;
        std::vector<uint8_t> copies;
    };
    static constexpr int kBatches = 3;

    int WriteBatch(Batch& batch);
    void Loop();

    Write write_;
    std::function<bool()> idle_;
    int64_t inlineLeft_;
    Batch batches_[kBatches];
    Batch* filling_ = nullptr;  // the batch Block gave out, until Send

    std::mutex mutex_;
    std::condition_variable queued_;  // a batch to write, or the end
    std::condition_variable freed_;   // a batch written
    std::deque<Batch*> queue_;        // sent, not yet written
    std::vector<Batch*> free_;        // written (or never used)
    std::atomic<int> error_ = 0;  // set by the thread, read by the caller
    bool ending_ = false;
    // Time spent filling the batches sent (from Block to Send) and writing
    // them, to weigh the run's work against the writes.
    using Clock = std::chrono::steady_clock;
    Clock::time_point filledFrom_;
    Clock::duration fillingTime_{}, writingTime_{};
    static constexpr int kWeighAfter = 2 * kBatches;
    int sent_ = 0, written_ = 0;  // batches handed to the thread, and written by it
    bool finished_ = false;
    std::thread thread_;
};

}  // namespace morvel
