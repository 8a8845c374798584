// The input of a conversion, from opening it to its last byte, and the rule
// for the end of a file's output. The run and the preview read their input
// through it, so both see the same text:
//
//   1. the source: a file, read block by block, or a text in memory (the
//      clipboard's, which arrives with its terminator);
//   2. the head: the first kDetectionHeadBytes bytes, or all of a shorter
//      text, on which the input mode is decided (detection for AutoDetect,
//      UTF-16 whenever the loaded text starts with FF FE or FE FF);
//   3. the loaded text handed on in blocks: the bytes, the loader's 0x00
//      terminator, and for UTF-16 more 0x00 until a whole zero code unit
//      ends the text.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/file_io.h"
#include "app/read_ahead.h"
#include "engine/byte_stream.h"
#include "engine/engine.h"

namespace morvel {

class CInputStage {
public:
    // Input is read and handed on in blocks of this size: small enough that
    // a block and its result stay in the processor's cache between the read,
    // the conversion and the write, and that the run touches few fresh pages.
    static constexpr int64_t kBlockBytes = 128 << 10;
    // What Pump and ReadHead return when the input could not be read.
    static constexpr int kReadFailed = -1;

    // A head shorter than kDetectionHeadBytes is for tests: detection then
    // decides on less than it would read of the whole text.
    explicit CInputStage(int64_t blockBytes = kBlockBytes, int64_t headBytes = kDetectionHeadBytes)
        : blockBytes_(blockBytes), headBytes_(headBytes) {}

    // A file: 0, or the errno value of the failed open. Reads nothing yet.
    int OpenFile(const std::string& path);
    // A text in memory. `terminated`: it already ends with its 0x00 (as the
    // clipboard's text does), so no terminator is added.
    void SetText(const uint8_t* p, int64_t n, bool terminated);

    // Reads the head: 0, or kReadFailed.
    int ReadHead();
    // The source held no byte at all.
    bool Empty() const { return head_.Empty() && atEnd_; }
    // The head as read (before Pump).
    const CByteStream& Head() const { return head_; }

    // The mode the text is read in: `requested`, detected on the head when
    // it is AutoDetect, and Unicode whenever the loaded text holds more than
    // two bytes and starts with FF FE or FE FF.
    EncodingId ResolveMode(EncodingId requested);

    // Reads the rest of the input into memory now (when the output is the
    // input file itself, nothing may be written before all is read): 0, or
    // kReadFailed.
    int ReadAll();

    // Hands the loaded text to `take` in blocks: the head, the rest of the
    // source, then the terminator and padding of the mode ResolveMode chose.
    // 0 when all was taken; the first non-zero value of `take`; or
    // kReadFailed. Call once, after ReadHead and ResolveMode.
    using Take = std::function<int(const uint8_t* p, int64_t n)>;
    int Pump(const Take& take);

    // What the loader adds behind a text of `length` bytes whose last two
    // are beforeLast and last (0 where there are fewer): its 0x00 unless the
    // text is `terminated` already, and for UTF-16 0x00 until the size is
    // even and the last two bytes are zero. Into `end`; the count.
    static int EndBytes(int64_t length, uint8_t beforeLast, uint8_t last, bool terminated, bool utf16,
                        uint8_t end[4]);

    const FileIdentity& Identity() const { return file_.Identity(); }
    // A file's bytes from `offset` on, whatever has been read (see
    // CInputFile::ReadAt); any thread.
    int64_t ReadAt(uint8_t* p, int64_t n, int64_t offset) const { return file_.ReadAt(p, n, offset); }

    // For a thread with time to spare while Pump runs: reads the next block
    // of a regular file ahead, when there is room. Whether it read one.
    bool ReadAhead() { return reader_ && reader_->ReadOne(); }

private:
    int ReadMore(CByteStream& into, int64_t limit);
    int64_t ReadSource(uint8_t* p, int64_t n);
    void NewReader();

    int64_t blockBytes_;
    int64_t headBytes_;
    CInputFile file_;
    bool fromFile_ = false;
    const uint8_t* text_ = nullptr;  // a text in memory
    int64_t textLeft_ = 0;
    bool terminated_ = false;
    bool atEnd_ = false;
    bool utf16_ = false;
    CByteStream head_;
    // The blocks after the head; a regular file's may be read ahead (a
    // pipe or a device, whose read may wait for ever, is read on the run's
    // thread only).
    std::unique_ptr<CReadAhead> reader_;
};

// The end of a file's output: the result of the stages ends with its zero
// bytes, of which a file holds at most two fewer. The last two bytes taken
// are held back until Close decides on them.
class COutputTail {
public:
    using Write = std::function<int(const uint8_t* p, int64_t n)>;
    explicit COutputTail(Write write) : write_(std::move(write)) {}

    // 0 or the first non-zero value of `write`.
    int Take(const uint8_t* p, int64_t n);
    // Moves the held bytes to the end of `out` (empty, say, before a block's
    // result is appended to it), so that the next Take, given `out`, writes
    // them together with that result instead of in a write of their own.
    void Lead(CByteStream& out);
    // Take for `n` bytes at p behind two bytes of room (p[-2], p[-1]), into
    // which the held bytes go, to be written together with them.
    int TakeBehind(uint8_t* p, int64_t n);
    // Drops up to two trailing 0x00 and writes what is left.
    int Close();
    // Bytes taken, held ones included.
    int64_t Total() const { return total_; }

private:
    Write write_;
    uint8_t held_[2] = {0, 0};
    int heldLength_ = 0;
    int64_t total_ = 0;
};

}  // namespace morvel
