// A file read block by block by whichever of two threads gets to it first:
// the run, when it needs the next block, and the output's thread, when it has
// nothing to write. A conversion that costs more than its writes (Shift-JIS to
// UTF-8, say) so has its reads taken off the run's thread, while one that
// costs less keeps reading on its own, and neither thread waits on the other
// more than it must.
//
// Blocks come to the run in order, each read once, into a few buffers that go
// round, so memory stays the same whatever the size of the file.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace morvel {

class CReadAhead {
public:
    // Fills up to `n` bytes at `p`: the count (less than n only at the end),
    // 0 at the end, -1 when the read failed.
    using Read = std::function<int64_t(uint8_t* p, int64_t n)>;
    static constexpr int kBuffers = 4;

    CReadAhead(Read read, int64_t blockBytes);
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    // The run's thread. The next block at `p`, read now unless it was read
    // ahead: its length, 0 at the end, -1 once a read failed. It stays valid
    // until the next call.
    int64_t Next(const uint8_t*& p);
    // Any other thread. Reads the next block ahead when reading ahead is
    // open, a buffer is free, the end is not reached and nobody else is
    // reading: whether it read one.
    bool ReadOne();
    // Reading ahead is allowed between Open and Close (which waits for a
    // read ahead in progress): only while the run reads through Next, since
    // nothing else may read the source then.
    void Open();
    void Close();

private:
    struct Block {
        uint8_t* data;  // null for the end or a failure
        int64_t length;
    };
    // Reads the next block into a free buffer, the lock held on entry and
    // exit but not during the read.
    void ReadLocked(std::unique_lock<std::mutex>& lock);

    Read read_;
    int64_t blockBytes_;
    // Buffers are made as needed, up to kBuffers, and the one freed last is
    // taken first: while nothing is read ahead, one buffer serves every
    // block, already mapped and warm in the cache.
    std::unique_ptr<uint8_t[]> buffers_[kBuffers];
    int made_ = 0;
    std::vector<uint8_t*> free_;

    std::mutex mutex_;
    std::condition_variable done_;  // a read finished
    // Read, in order, not yet taken: a ring that never allocates, so that a
    // block once read cannot be lost (every buffer, and the end).
    Block ready_[kBuffers + 1];
    int first_ = 0, count_ = 0;
    uint8_t* held_ = nullptr;       // the block the run has, until Next
    bool reading_ = false;
    bool atEnd_ = false;  // a read gave 0 or -1: nothing more to read
    bool open_ = false;
};

}  // namespace morvel
