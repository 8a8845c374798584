#include "app/write_behind.h"

#include <cstring>
#include <limits>
#include <system_error>

namespace morvel {

CWriteBehind::CWriteBehind(Write write, int64_t inlineBytes) : write_(std::move(write)), inlineLeft_(inlineBytes) {
    for (Batch& b : batches_) free_.push_back(&b);
}

CWriteBehind::~CWriteBehind() { Finish(); }

CByteStream& CWriteBehind::Block() {
    if (filling_ == nullptr) {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return !free_.empty(); });
        filling_ = free_.back();
        free_.pop_back();
    }
    filling_->stream.Discard();
    filling_->pieces.clear();
    filling_->copies.clear();
    filledFrom_ = Clock::now();
    return filling_->stream;
}

void CWriteBehind::Put(const uint8_t* p, int64_t n) {
    if (n <= 0) return;
    if (filling_ == nullptr) Block();
    Batch& b = *filling_;
    const uint8_t* data = b.stream.Data();
    // Pointers are compared as integers: p need not point into the stream.
    const auto at = reinterpret_cast<uintptr_t>(p), begin = reinterpret_cast<uintptr_t>(data);
    if (data != nullptr && at >= begin && at + static_cast<uintptr_t>(n) <= begin + static_cast<uintptr_t>(b.stream.Size())) {
        b.pieces.push_back({static_cast<int64_t>(at - begin), n, false});
    } else {
        b.pieces.push_back({static_cast<int64_t>(b.copies.size()), n, true});
        b.copies.insert(b.copies.end(), p, p + n);
    }
}

int CWriteBehind::WriteBatch(Batch& batch) {
    for (const Batch::Piece& piece : batch.pieces) {
        const uint8_t* base = piece.copied ? batch.copies.data() : batch.stream.Data();
        if (const int err = write_(base + piece.offset, piece.length)) return err;
    }
    return 0;
}

int CWriteBehind::Send() {
    Batch* batch = filling_;
    filling_ = nullptr;
    if (batch == nullptr) return error_;
    const Clock::duration filled = Clock::now() - filledFrom_;
    if (finished_) {  // too late: dropped
        free_.push_back(batch);
        return error_;
    }
    if (!thread_.joinable()) {
        // Still short: written here, and the thread started once it is not.
        for (const Batch::Piece& piece : batch->pieces) inlineLeft_ -= piece.length;
        if (error_ == 0) error_ = WriteBatch(*batch);
        free_.push_back(batch);
        if (inlineLeft_ < 0 && error_ == 0) {
            try {
                thread_ = std::thread([this] { Loop(); });
            } catch (const std::system_error&) {
                inlineLeft_ = std::numeric_limits<int64_t>::max();  // no thread to be had: written here
            }
        }
        return error_;
    }
    std::lock_guard lock(mutex_);
    queue_.push_back(batch);
    if (++sent_ > kWeighAfter) fillingTime_ += filled;
    queued_.notify_one();
    return error_;
}

void CWriteBehind::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        // Idle work only while filling a batch takes longer than writing
        // one: the thread then has time to spare. Otherwise it is the writes
        // that hold the run up, and the thread leaves the run's work to it.
        if (queue_.empty() && !ending_ && idle_ && written_ >= kWeighAfter && fillingTime_ > writingTime_) {
            lock.unlock();
            const bool worked = idle_();
            lock.lock();
            if (worked) continue;
        }
        queued_.wait(lock, [&] { return !queue_.empty() || ending_; });
        if (queue_.empty()) return;
        Batch* batch = queue_.front();
        queue_.pop_front();
        const bool failed = error_ != 0;
        lock.unlock();
        const Clock::time_point from = Clock::now();
        const int err = failed ? 0 : WriteBatch(*batch);
        const Clock::duration written = Clock::now() - from;
        lock.lock();
        // The first batches (fresh memory on both sides) are not weighed.
        if (++written_ > kWeighAfter) writingTime_ += written;
        if (err != 0) error_ = err;
        free_.push_back(batch);
        freed_.notify_one();
    }
}

int CWriteBehind::Finish() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
            queued_.notify_one();
        }
        thread_.join();
    }
    if (filling_ != nullptr) {
        free_.push_back(filling_);
        filling_ = nullptr;
    }
    finished_ = true;
    return error_;
}

}  // namespace morvel
