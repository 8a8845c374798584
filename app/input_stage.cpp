#include "app/input_stage.h"

#include <algorithm>
#include <cstring>

namespace morvel {

int CInputStage::OpenFile(const std::string& path) {
    fromFile_ = true;
    terminated_ = false;
    atEnd_ = false;
    head_.Discard();
    NewReader();
    return file_.Open(path);
}

void CInputStage::SetText(const uint8_t* p, int64_t n, bool terminated) {
    fromFile_ = false;
    text_ = p;
    textLeft_ = n;
    terminated_ = terminated;
    atEnd_ = false;
    head_.Discard();
    NewReader();
}

// The reader of the blocks after the head, made before Pump so that
// ReadAhead may be called from another thread at any time.
void CInputStage::NewReader() {
    reader_ = std::make_unique<CReadAhead>([this](uint8_t* p, int64_t n) { return ReadSource(p, n); }, blockBytes_);
}

// Reads `n` bytes at `p`, fewer only where the source ends: the count, or -1
// when a read failed.
int64_t CInputStage::ReadSource(uint8_t* p, int64_t n) {
    if (fromFile_) return file_.ReadFull(p, n);
    n = std::min(n, textLeft_);
    if (n > 0) std::memcpy(p, text_, static_cast<size_t>(n));
    text_ += n;
    textLeft_ -= n;
    return n;
}

// Reads into `into` until it holds `limit` bytes or the source ends.
int CInputStage::ReadMore(CByteStream& into, int64_t limit) {
    const int64_t want = limit - into.Size();
    if (want > 0) {
        const int64_t got = ReadSource(into.Reserve(want), want);
        if (got < 0) return kReadFailed;
        into.Commit(got);
    }
    atEnd_ = fromFile_ ? file_.AtEnd() : textLeft_ == 0;
    return 0;
}

// The mark rule needs 3 bytes of the head.
int CInputStage::ReadHead() { return ReadMore(head_, std::max<int64_t>(headBytes_, 3)); }

int CInputStage::ReadAll() {
    while (!atEnd_) {
        if (ReadMore(head_, head_.Size() + std::max<int64_t>(blockBytes_, 1)) != 0) return kReadFailed;
    }
    return 0;
}

EncodingId CInputStage::ResolveMode(EncodingId requested) {
    // Detection and the mark see the text as loaded: a whole text with its
    // terminator, or the head of a longer one.
    const bool addTerminator = atEnd_ && !terminated_;
    if (addTerminator) head_.Append(0x00);
    EncodingId mode = requested;
    if (mode == AutoDetect) {
        head_.SetReadPos(0);
        mode = DetectEncoding(head_);
        head_.SetReadPos(0);
    }
    const uint8_t* h = head_.Data();
    if (head_.Size() > 2 && ((h[0] == 0xFF && h[1] == 0xFE) || (h[0] == 0xFE && h[1] == 0xFF))) mode = Unicode;
    if (addTerminator) head_.Resize(head_.Size() - 1);
    utf16_ = mode == Unicode;
    return mode;
}

int CInputStage::Pump(const Take& take) {
    int64_t length = head_.Size();
    uint8_t last = length > 0 ? head_.Data()[length - 1] : 0;
    uint8_t beforeLast = length > 1 ? head_.Data()[length - 2] : 0;
    if (length > 0) {
        if (const int r = take(head_.Data(), length)) return r;
    }
    if (!atEnd_) {
        // The rest block by block. A regular file's blocks may also be read
        // ahead by a thread with time to spare (ReadAhead); a pipe or a
        // device, whose read may wait for ever, is read here only.
        if (fromFile_ && file_.Identity().regular) reader_->Open();
        struct Closer {
            CReadAhead& reader;
            ~Closer() { reader.Close(); }
        } closer{*reader_};
        for (;;) {
            const uint8_t* p = nullptr;
            const int64_t n = reader_->Next(p);
            if (n < 0) return kReadFailed;
            if (n == 0) break;
            beforeLast = n > 1 ? p[n - 2] : last;
            last = p[n - 1];
            length += n;
            if (const int r = take(p, n)) return r;
        }
        atEnd_ = true;
    }
    uint8_t end[4];
    return take(end, EndBytes(length, beforeLast, last, terminated_, utf16_, end));
}

int CInputStage::EndBytes(int64_t length, uint8_t beforeLast, uint8_t last, bool terminated, bool utf16,
                          uint8_t end[4]) {
    // The loader's terminator, then for UTF-16 zeros until the size is even
    // and the last two bytes are zero.
    int count = 0;
    auto add = [&](uint8_t b) {
        end[count++] = b;
        beforeLast = last;
        last = b;
        ++length;
    };
    if (!terminated || length == 0) add(0x00);
    if (utf16) {
        while (length < 2 || length % 2 != 0 || last != 0 || beforeLast != 0) add(0x00);
    }
    return count;
}

int COutputTail::Take(const uint8_t* p, int64_t n) {
    total_ += n;
    if (n >= 2) {
        if (heldLength_ > 0) {
            if (const int r = write_(held_, heldLength_)) return r;
        }
        heldLength_ = 0;
        if (n > 2) {
            if (const int r = write_(p, n - 2)) return r;
        }
        p += n - 2;
        n = 2;
    }
    for (int64_t i = 0; i < n; ++i) {
        if (heldLength_ == 2) {
            if (const int r = write_(held_, 1)) return r;
            held_[0] = held_[1];
            heldLength_ = 1;
        }
        held_[heldLength_++] = p[i];
    }
    return 0;
}

void COutputTail::Lead(CByteStream& out) {
    for (int i = 0; i < heldLength_; ++i) out.Append(held_[i]);
    total_ -= heldLength_;  // taken again with `out`
    heldLength_ = 0;
}

int COutputTail::TakeBehind(uint8_t* p, int64_t n) {
    uint8_t* const from = p - heldLength_;
    std::memcpy(from, held_, static_cast<size_t>(heldLength_));
    total_ -= heldLength_;  // taken again from `from`
    heldLength_ = 0;
    return Take(from, n + (p - from));
}

int COutputTail::Close() {
    for (int i = 0; i < 2 && heldLength_ > 0 && held_[heldLength_ - 1] == 0x00; ++i) --heldLength_;
    const int n = heldLength_;
    heldLength_ = 0;
    return n > 0 ? write_(held_, n) : 0;
}

}  // namespace morvel
