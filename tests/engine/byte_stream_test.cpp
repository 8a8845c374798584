#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

#include "tests/engine/test_util.h"

namespace morvel {
namespace {

using test::Bytes;
using test::Fill;
using test::ToBytes;

TEST(ByteStream, ResizeAppendAndReserveKeepEveryByte) {
    CByteStream s;
    Fill(s, {7, 8, 9});
    s.Resize(2);
    EXPECT_EQ(ToBytes(s), (Bytes{7, 8}));
    s.Resize(5);
    EXPECT_EQ(ToBytes(s), (Bytes{7, 8, 0, 0, 0}));
    s.Resize(0);
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(s.Capacity(), 0);
    EXPECT_EQ(s.Data(), nullptr);
    s.Append(0x41);
    EXPECT_EQ(s.Capacity(), 1);  // the first allocation is exact
    for (int i = 1; i < 100000; ++i) ASSERT_EQ(s.Append(static_cast<uint8_t>(i * 7)), i);
    for (int i = 1; i < 100000; ++i) ASSERT_EQ(s.Data()[i], static_cast<uint8_t>(i * 7));
    Fill(s, {0xFF, 0xFE, 0x41});
    uint8_t* p = s.Reserve(1000);
    p[0] = p[1] = 0x00;
    s.Commit(2);
    EXPECT_EQ(ToBytes(s), (Bytes{0xFF, 0xFE, 0x41, 0x00, 0x00}));
    EXPECT_GE(s.Capacity(), 1003);
    s.EraseFront(2);
    EXPECT_EQ(ToBytes(s), (Bytes{0x41, 0x00, 0x00}));
    s.EraseFront(10);
    EXPECT_EQ(s.Size(), 0);
}

TEST(ByteStream, InsertOpensAGapOrZeroFillsUpToIt) {
    const struct {
        Bytes before;
        int64_t pos;
        uint8_t byte;
        int64_t count;
        Bytes after;
    } cases[] = {
        {{0x00, 0x41}, 0, 0xFF, 2, {0xFF, 0xFF, 0x00, 0x41}},
        {{1, 2, 3}, 1, 9, 1, {1, 9, 2, 3}},
        {{1, 2}, 2, 9, 2, {1, 2, 9, 9}},
        {{1}, 3, 9, 1, {1, 0, 0, 9}},
        {{}, 0, 0xFE, 1, {0xFE}},
    };
    for (const auto& c : cases) {
        CByteStream s;
        Fill(s, c.before);
        s.Insert(c.pos, c.byte, c.count);
        EXPECT_EQ(ToBytes(s), c.after) << test::Hex(c.before);
    }
}

// Invalid arguments and failed allocations throw and change nothing.
TEST(ByteStream, FailuresThrowAndChangeNothing) {
    constexpr int64_t kHuge = std::numeric_limits<int64_t>::max() / 2;
    CByteStream s, empty;
    Fill(s, {1, 2, 3});
    EXPECT_THROW(s.Resize(-1), std::invalid_argument);
    EXPECT_THROW(s.Insert(-1, 0, 1), std::invalid_argument);
    EXPECT_THROW(s.Insert(0, 0, 0), std::invalid_argument);
    EXPECT_THROW(s.Resize(kHuge), std::bad_alloc);
    EXPECT_THROW(s.Reserve(kHuge), std::bad_alloc);
    EXPECT_EQ(ToBytes(s), (Bytes{1, 2, 3}));
    EXPECT_THROW(empty.Resize(kHuge), std::bad_alloc);
    EXPECT_EQ(empty.Size(), 0);
}

TEST(ByteStream, CopyFromClearSwapAndMove) {
    CByteStream a, b;
    Fill(a, {1, 2, 3});
    a.SetReadPos(2);
    a.CopyFrom(a);
    EXPECT_EQ(ToBytes(a), (Bytes{1, 2, 3}));
    b.SetReadPos(1);
    b.CopyFrom(a);
    EXPECT_EQ(ToBytes(b), (Bytes{1, 2, 3}));
    EXPECT_EQ(b.ReadPos(), 1);  // CopyFrom leaves the read position alone
    a.Resize(1);
    EXPECT_EQ(a.ReadPos(), 2);  // so does Resize
    a.Clear();
    EXPECT_EQ(a.ReadPos(), 0);
    EXPECT_EQ(a.Size(), 0);
    swap(a, b);
    EXPECT_EQ(b.Size(), 0);
    EXPECT_EQ(ToBytes(a), (Bytes{1, 2, 3}));
    EXPECT_EQ(a.ReadByte(), 2);
    CByteStream c(std::move(a));
    EXPECT_EQ(ToBytes(c), (Bytes{1, 2, 3}));
    EXPECT_EQ(c.ReadPos(), 2);
    EXPECT_EQ(a.Size(), 0);  // NOLINT(bugprone-use-after-move): moved-from is empty
}

}  // namespace
}  // namespace morvel
