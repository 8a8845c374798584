#include "engine/byte_stream.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

namespace morvel {

CByteStream::~CByteStream() { std::free(data_); }

CByteStream::CByteStream(CByteStream&& other) noexcept
    : data_(other.data_),
      size_(other.size_),
      capacity_(other.capacity_),
      growBy_(other.growBy_),
      readPos_(other.readPos_) {
    other.data_ = nullptr;
    other.size_ = other.capacity_ = other.growBy_ = other.readPos_ = 0;
}

CByteStream& CByteStream::operator=(CByteStream&& other) noexcept {
    if (this != &other) {
        CByteStream tmp(std::move(other));
        swap(*this, tmp);
    }
    return *this;
}

void swap(CByteStream& a, CByteStream& b) noexcept {
    std::swap(a.data_, b.data_);
    std::swap(a.size_, b.size_);
    std::swap(a.capacity_, b.capacity_);
    std::swap(a.growBy_, b.growBy_);
    std::swap(a.readPos_, b.readPos_);
}

// Grows the storage to at least minCapacity bytes. Automatic growth doubles
// the capacity, so appending n bytes one at a time costs O(n); an explicit
// growth step adds that many bytes instead. realloc keeps the old block when
// it fails, so the stream is unchanged when bad_alloc leaves here.
void CByteStream::Grow(int64_t minCapacity) {
    int64_t step = growBy_;
    if (step == 0) step = capacity_ < 16 ? 16 : capacity_;
    int64_t wanted = capacity_ > std::numeric_limits<int64_t>::max() - step
                         ? std::numeric_limits<int64_t>::max()
                         : capacity_ + step;
    if (wanted < minCapacity) wanted = minCapacity;
    if (static_cast<uint64_t>(wanted) > std::numeric_limits<size_t>::max() / 2) throw std::bad_alloc();
    if (size_ <= capacity_ / 2) {
        // Little of the block in use (a stream emptied for reuse, say):
        // realloc would copy all of the old block, so only the bytes in use
        // are copied.
        void* fresh = std::malloc(static_cast<size_t>(wanted));
        if (fresh == nullptr) throw std::bad_alloc();
        if (size_ > 0) std::memcpy(fresh, data_, static_cast<size_t>(size_));
        std::free(data_);
        data_ = static_cast<uint8_t*>(fresh);
    } else {
        void* grown = std::realloc(data_, static_cast<size_t>(wanted));
        if (grown == nullptr) throw std::bad_alloc();
        data_ = static_cast<uint8_t*>(grown);
    }
    capacity_ = wanted;
}

void CByteStream::Resize(int64_t n, int64_t growBy) {
    if (n < 0) throw std::invalid_argument("CByteStream::Resize: negative size");
    if (growBy >= 0) growBy_ = growBy;
    if (n == 0) {
        std::free(data_);
        data_ = nullptr;
        size_ = capacity_ = 0;
        return;
    }
    if (data_ == nullptr) {
        // First allocation: exactly what is asked for (or the growth step).
        const int64_t cap = n > growBy_ ? n : growBy_;
        if (static_cast<uint64_t>(cap) > std::numeric_limits<size_t>::max() / 2) throw std::bad_alloc();
        void* block = std::calloc(static_cast<size_t>(cap), 1);
        if (block == nullptr) throw std::bad_alloc();
        data_ = static_cast<uint8_t*>(block);
        capacity_ = cap;
        size_ = n;
        return;
    }
    if (n > capacity_) Grow(n);
    if (n > size_) std::memset(data_ + size_, 0, static_cast<size_t>(n - size_));
    size_ = n;
}

int64_t CByteStream::AppendSlow(uint8_t byte) {
    if (data_ == nullptr) {
        Resize(1);
    } else {
        Grow(size_ + 1);
        ++size_;
    }
    data_[size_ - 1] = byte;
    return size_ - 1;
}

void CByteStream::Insert(int64_t pos, uint8_t byte, int64_t count) {
    if (pos < 0 || count <= 0) throw std::invalid_argument("CByteStream::Insert: bad position or count");
    if (count > std::numeric_limits<int64_t>::max() - (pos > size_ ? pos : size_)) throw std::bad_alloc();
    if (pos < size_) {
        const int64_t oldSize = size_;
        Resize(size_ + count);
        std::memmove(data_ + pos + count, data_ + pos, static_cast<size_t>(oldSize - pos));
    } else {
        Resize(pos + count);
    }
    std::memset(data_ + pos, byte, static_cast<size_t>(count));
}

void CByteStream::EraseFront(int64_t count) noexcept {
    if (count <= 0) return;
    if (count >= size_) {
        size_ = 0;
        return;
    }
    std::memmove(data_, data_ + count, static_cast<size_t>(size_ - count));
    size_ -= count;
}

void CByteStream::Clear() noexcept {
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = readPos_ = 0;
}

void CByteStream::CopyFrom(const CByteStream& other) {
    if (&other == this) return;
    Resize(other.size_);
    if (other.size_ > 0) std::memcpy(data_, other.data_, static_cast<size_t>(other.size_));
}

uint8_t* CByteStream::Reserve(int64_t extra) {
    if (extra < 0) throw std::invalid_argument("CByteStream::Reserve: negative count");
    if (extra > std::numeric_limits<int64_t>::max() - size_) throw std::bad_alloc();
    const int64_t needed = size_ + extra;
    if (needed > capacity_) {
        if (data_ == nullptr && needed > 0) {
            void* block = std::malloc(static_cast<size_t>(needed));
            if (block == nullptr) throw std::bad_alloc();
            data_ = static_cast<uint8_t*>(block);
            capacity_ = needed;
        } else {
            Grow(needed);
        }
    }
    return data_ + size_;
}

}  // namespace morvel
