// The machinery shared by every resumable converter and by the whole-text
// operations built on them.
//
// A codec is written once, as a core: a state machine with
//
//   static constexpr TextEnd kEnd;      // where its source text ends
//   static constexpr int64_t kGrowth;   // most output bytes per input byte
//   static constexpr int64_t kMaxCarry; // most bytes Run may leave unread
//   static constexpr int64_t kCloseMax; // most bytes Close writes
//   bool ended = false;                 // TextEnd::Core only: Run met the end
//   const uint8_t* Run(const uint8_t* p, const uint8_t* end, bool final,
//                      uint8_t*& o);
//   void Close(uint8_t*& o);
//
// Run converts the units in [p, end) and writes them at o, which has room for
// kGrowth * (end - p) + kSlack bytes. With final false it stops in front of a
// unit that `end` cuts short (at most kMaxCarry bytes) and returns where it
// stopped; with final true it converts everything by the end-of-text rules
// and returns end. Close writes what follows the last unit and the
// terminator. The source text contains no terminator byte when kEnd is
// Bytewise or ZeroByte: the wrapper below has cut it off.
//
// Chunked<Core> turns a core into a CChunkConverter: it finds the end of the
// text, carries a cut unit from one piece to the next, and reserves output
// room per block of input, so that what is reserved stays small beside the
// text however large it is.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/converter.h"
#include "engine/internal/converters.h"
#include "engine/internal/scan.h"

namespace morvel::internal {

enum class TextEnd {
    Bytewise,  // the first 0x00 or 0x1A
    ZeroByte,  // the first 0x00
    Core,      // the core finds it (the first zero code unit of UTF-16)
};

// What most cores share: a text that ends where `End` says, closed by one
// terminator byte 0x00.
template <TextEnd End>
struct ZeroClosedCore {
    static constexpr TextEnd kEnd = End;
    static constexpr int64_t kCloseMax = 1;
    bool ended = false;

    void Close(uint8_t*& o) { *o++ = 0x00; }
};

// Room every Run may use beyond kGrowth per byte: word-at-a-time stores and
// the whole-block stores of the vector kernels (engine/internal/vector.h).
constexpr int64_t kSlack = 64;

inline int64_t ZeroByteLength(const uint8_t* p, int64_t n) {
    const void* hit = n > 0 ? std::memchr(p, 0, static_cast<size_t>(n)) : nullptr;
    return hit ? static_cast<const uint8_t*>(hit) - p : n;
}

template <class Core>
class Chunked final : public CChunkConverter {
public:
    void Feed(const uint8_t* p, int64_t n, CByteStream& out) override {
        if (ended_ || n <= 0) return;
        int64_t length = n;
        if constexpr (Core::kEnd == TextEnd::Bytewise) length = TextLength(p, n);
        if constexpr (Core::kEnd == TextEnd::ZeroByte) length = ZeroByteLength(p, n);
        FeedText(p, length, length < n, out);
    }

    // `n` bytes of text at p; endsHere when the text ends right after them.
    void FeedText(const uint8_t* p, int64_t n, bool endsHere, CByteStream& out) {
        if (ended_) return;
        while (carryLength_ > 0) {
            // Complete the carried unit with the first bytes of this piece.
            uint8_t buffer[2 * Core::kMaxCarry + 8];
            const int64_t take = n < Core::kMaxCarry + 8 ? n : Core::kMaxCarry + 8;
            std::memcpy(buffer, carry_, static_cast<size_t>(carryLength_));
            if (take > 0) std::memcpy(buffer + carryLength_, p, static_cast<size_t>(take));
            const int64_t total = carryLength_ + take;
            const bool final = endsHere && take == n;
            const uint8_t* stopped = RunInto(buffer, buffer + total, final, out);
            const int64_t used = (stopped - buffer) - carryLength_;
            if (used < 0 || (!final && take == n)) {
                // Still cut short: keep what is left (at most kMaxCarry
                // bytes), and go on with the rest of the piece, if any.
                Keep(stopped, buffer + total);
                if (final || core_.ended) return Stop();
                if (take == n) return;
                p += take;
                n -= take;
                continue;
            }
            carryLength_ = 0;
            p += used;
            n -= used;
            if (core_.ended) return Stop();
        }
        while (n > 0) {
            const int64_t block = n < kChunk ? n : kChunk;
            const bool lastBlock = block == n;
            const uint8_t* stopped = RunInto(p, p + block, endsHere && lastBlock, out);
            n -= stopped - p;
            p = stopped;
            if (core_.ended) return Stop();
            if (lastBlock && n > 0) {
                // A unit cut short by the end of the piece waits for the next.
                Keep(p, p + n);
                n = 0;
            }
        }
        if (endsHere) Stop();
    }

    void ContinueText() override {
        if constexpr (requires(Core& c) { c.ContinueText(); }) core_.ContinueText();
    }

    bool Ended() const override { return ended_; }

    bool AtRest() const override {
        if constexpr (requires(const Core& c) { c.AtRest(); }) {
            if (!core_.AtRest()) return false;
        }
        return carryLength_ == 0 && !ended_;
    }

    void Finish(CByteStream& out) override {
        if (!ended_ && carryLength_ > 0) RunInto(carry_, carry_ + carryLength_, true, out);
        carryLength_ = 0;
        ended_ = true;
        if (closed_) return;
        uint8_t* const start = out.Reserve(Core::kCloseMax);
        uint8_t* o = start;
        core_.Close(o);
        out.Commit(o - start);
        closed_ = true;
    }

private:
    const uint8_t* RunInto(const uint8_t* p, const uint8_t* end, bool final, CByteStream& out) {
        uint8_t* const start = out.Reserve(Core::kGrowth * (end - p) + kSlack);
        uint8_t* o = start;
        const uint8_t* stopped = core_.Run(p, end, final, o);
        out.Commit(o - start);
        return stopped;
    }

    void Keep(const uint8_t* from, const uint8_t* to) {
        carryLength_ = to - from;
        std::memmove(carry_, from, static_cast<size_t>(carryLength_));
    }

    void Stop() {
        ended_ = true;
        carryLength_ = 0;
    }

    Core core_;
    uint8_t carry_[2 * Core::kMaxCarry + 8];
    int64_t carryLength_ = 0;
    bool ended_ = false;
    bool closed_ = false;
};

// A whole-text operation over a core: the text from the source's read
// position to its end, then the close. The read position ends where
// reading byte by byte would leave it.
template <class Core>
void RunWholeText(CByteStream& src, CByteStream& dst) {
    static_assert(Core::kEnd == TextEnd::Bytewise);
    // Room for the worst case of the whole text first: the destination then
    // never grows block by block (copying a large text again and again), and
    // a failed allocation leaves the source's read position as it was.
    const int64_t pos = src.ReadPos();
    const int64_t left = pos >= 0 && pos < src.Size() ? TextLength(src.Data() + pos, src.Size() - pos) : 0;
    dst.Reserve(Core::kGrowth * left + kSlack + Core::kCloseMax);
    const TextSpan text = left > 0 ? TextSpan{src.Data() + pos, src.Data() + pos + left} : TextSpan{nullptr, nullptr};
    if (left > 0) src.SetReadPos(pos + left);
    Chunked<Core> converter;
    converter.FeedText(text.begin, text.end - text.begin, true, dst);
    converter.Finish(dst);
}

// A whole-text operation that reads its source from byte 0 (not from the
// read position) and replaces the destination's contents, as the UTF-16
// operations do. An empty source leaves the destination as it was. The
// result is built aside and swapped in, so that an allocation failure
// leaves the destination untouched; the destination keeps its read position.
template <class Core>
void ReplaceWithWholeText(const CByteStream& src, CByteStream& dst) {
    static_assert(Core::kEnd != TextEnd::Bytewise);
    if (src.Size() == 0) return;
    CByteStream result;
    int64_t length = src.Size();
    if constexpr (Core::kEnd == TextEnd::ZeroByte) length = ZeroByteLength(src.Data(), length);
    result.Reserve(Core::kGrowth * length + kSlack + Core::kCloseMax);
    Chunked<Core> converter;
    if constexpr (Core::kEnd == TextEnd::ZeroByte) {
        converter.FeedText(src.Data(), length, length < src.Size(), result);  // the end is known already
    } else {
        converter.Feed(src.Data(), src.Size(), result);
    }
    converter.Finish(result);
    result.SetReadPos(dst.ReadPos());
    swap(dst, result);
}

}  // namespace morvel::internal
