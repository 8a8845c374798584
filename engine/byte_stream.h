// CByteStream: the one container for text in Morvel.
//
// A growable byte array with a read cursor. Every input, intermediate and
// output text lives in one. ReadByte() also defines where a text ends: it
// returns -1 at the end of the stream and at the first byte 0x00 or 0x1A,
// and does not move past such a byte, so every later read returns -1 too.
//
// Sizes and positions are signed 64-bit. Growth is geometric; bytes that
// Resize() adds are zero, bytes that Reserve() makes room for are not
// initialised until written. Allocation failure throws std::bad_alloc and
// leaves the stream's storage and size as they were; a negative size or
// position, or an insert count below 1, throws std::invalid_argument.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvel {

class CByteStream {
public:
    CByteStream() noexcept = default;
    ~CByteStream();

    CByteStream(const CByteStream&) = delete;
    CByteStream& operator=(const CByteStream&) = delete;
    CByteStream(CByteStream&& other) noexcept;
    CByteStream& operator=(CByteStream&& other) noexcept;

    // Sets the size; bytes between the old size and n become 0. Resize(0)
    // frees the storage. growBy >= 0 sets the growth step (0 = automatic).
    void Resize(int64_t n, int64_t growBy = -1);

    // Appends one byte and returns its index.
    int64_t Append(uint8_t byte) {
        if (size_ < capacity_) {
            data_[size_] = byte;
            return size_++;
        }
        return AppendSlow(byte);
    }

    // Opens a gap of count bytes at pos (zero-filling any gap past the end)
    // and fills it with byte.
    void Insert(int64_t pos, uint8_t byte, int64_t count);

    // Removes count bytes at the front; the rest moves down.
    void EraseFront(int64_t count) noexcept;

    // Frees the storage; size, capacity and read position become 0.
    void Clear() noexcept;

    // Empties the stream but keeps its storage for reuse: size and read
    // position become 0.
    void Discard() noexcept {
        size_ = 0;
        readPos_ = 0;
    }

    // Copies all of other's bytes; the read position is not touched.
    void CopyFrom(const CByteStream& other);

    // Next byte (0..255), or -1 at the end of the text.
    int ReadByte() noexcept {
        if (readPos_ < 0 || readPos_ >= size_) return -1;
        const uint8_t c = data_[readPos_];
        if (c == 0x00 || c == 0x1A) return -1;
        ++readPos_;
        return c;
    }

    void SetReadPos(int64_t pos) noexcept { readPos_ = pos; }
    int64_t ReadPos() const noexcept { return readPos_; }
    int64_t Size() const noexcept { return size_; }
    int64_t Capacity() const noexcept { return capacity_; }
    bool Empty() const noexcept { return size_ == 0; }
    uint8_t* Data() noexcept { return data_; }
    const uint8_t* Data() const noexcept { return data_; }

    // Fast writers. Reserve(extra) makes room for at least `extra` more
    // bytes after the current size (geometric growth) and returns the
    // address where they go; Commit(n) then adds the n bytes written there.
    // The pointer is valid until the next call that may grow the stream.
    uint8_t* Reserve(int64_t extra);
    void Commit(int64_t n) noexcept { size_ += n; }

    friend void swap(CByteStream& a, CByteStream& b) noexcept;

private:
    int64_t AppendSlow(uint8_t byte);
    void Grow(int64_t minCapacity);

    uint8_t* data_ = nullptr;
    int64_t size_ = 0;
    int64_t capacity_ = 0;
    int64_t growBy_ = 0;
    int64_t readPos_ = 0;
};

void swap(CByteStream& a, CByteStream& b) noexcept;

}  // namespace morvel
