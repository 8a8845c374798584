#include "app/read_ahead.h"

#include <new>

namespace morvel {

CReadAhead::CReadAhead(Read read, int64_t blockBytes) : read_(std::move(read)), blockBytes_(blockBytes) {}

void CReadAhead::ReadLocked(std::unique_lock<std::mutex>& lock) {
    uint8_t* buffer;
    if (!free_.empty()) {
        buffer = free_.back();
        free_.pop_back();
    } else {
        // Memory the read fills, taken without clearing it first; room in
        // free_ for it is made first, so giving it back never allocates.
        free_.reserve(static_cast<size_t>(made_ + 1));
        buffers_[made_] = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(blockBytes_));
        buffer = buffers_[made_++].get();
    }
    reading_ = true;
    lock.unlock();
    const int64_t n = read_(buffer, blockBytes_);
    lock.lock();
    reading_ = false;
    Block& block = ready_[(first_ + count_++) % (kBuffers + 1)];
    if (n > 0) {
        block = {buffer, n};
    } else {
        free_.push_back(buffer);
        block = {nullptr, n};
        atEnd_ = true;
    }
    done_.notify_all();
}

int64_t CReadAhead::Next(const uint8_t*& p) {
    p = nullptr;
    std::unique_lock lock(mutex_);
    if (held_ != nullptr) {
        free_.push_back(held_);
        held_ = nullptr;
    }
    for (;;) {
        if (count_ > 0) {
            const Block block = ready_[first_];
            if (block.data == nullptr) return block.length;  // the end, or the failure, stays
            first_ = (first_ + 1) % (kBuffers + 1);
            --count_;
            held_ = block.data;
            p = block.data;
            return block.length;
        }
        if (!reading_) {
            ReadLocked(lock);  // nothing read ahead: read it here
            continue;
        }
        done_.wait(lock);  // the other thread is reading the block wanted
    }
}

bool CReadAhead::ReadOne() {
    std::unique_lock lock(mutex_);
    if (!open_ || atEnd_ || reading_ || (free_.empty() && made_ == kBuffers)) return false;
    try {
        ReadLocked(lock);
    } catch (const std::bad_alloc&) {
        return false;  // no buffer to be had: the run reads the block itself, and says so if it cannot
    }
    return true;
}

void CReadAhead::Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
}

void CReadAhead::Close() {
    std::unique_lock lock(mutex_);
    open_ = false;
    done_.wait(lock, [&] { return !reading_; });
}

}  // namespace morvel
