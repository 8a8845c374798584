// The two threads of a long file run: blocks read by the run or ahead by the
// output's thread, and written behind on that thread; or, where the text may
// be cut, segments converted on both threads at once. Whatever thread reads
// or writes, every byte must arrive once and in order, and a failed read or
// write must reach the run at the block where it happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/parallel_run.h"
#include "app/read_ahead.h"
#include "app/write_behind.h"
#include "engine/reference/reference.h"
#include "tests/engine/test_util.h"

namespace morvel {
namespace {

uint8_t ByteAt(int64_t i) { return static_cast<uint8_t>(i * 7 % 251); }

TEST(FileThreads, EveryByteOnceInOrder) {
    const struct {
        int64_t size, block;
        int64_t inlineBytes;  // written on the run's thread before the other starts
        int64_t failReadAt;   // a read that would reach past this byte fails
        int64_t failWriteAt;  // a write that would reach past this byte fails
        bool slowRun = false;  // the run takes longer over a block than the writes: reads go ahead
    } cases[] = {
        {0, 7, 0, -1, -1},
        {1, 7, 0, -1, -1},
        {7, 7, 0, -1, -1},
        {100'003, 61, 0, -1, -1},
        {100'003, 4096, 0, -1, -1},
        {100'003, 4096, 0, -1, -1, true},
        {100'003, 4096, 50'000, -1, -1, true},  // the thread starts half way
        {100'003, 4096, 1 << 30, -1, -1},       // never starts
        {100'003, 61, 0, 70'000, -1},
        {100'003, 4096, 0, 70'000, -1, true},
        {100'003, 61, 0, -1, 70'000},
        {100'003, 4096, 0, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size) + " block " + std::to_string(c.block) + " inline " +
                     std::to_string(c.inlineBytes) + " failing read " + std::to_string(c.failReadAt) +
                     " write " + std::to_string(c.failWriteAt));
        int64_t readPos = 0;
        std::atomic<int> readElsewhere = 0;  // blocks read on the writer's thread
        const std::thread::id run = std::this_thread::get_id();
        CReadAhead reader(
            [&](uint8_t* p, int64_t n) -> int64_t {
                readElsewhere += std::this_thread::get_id() != run;
                n = std::min(n, c.size - readPos);
                if (c.failReadAt >= 0 && readPos + n > c.failReadAt) return -1;
                for (int64_t i = 0; i < n; ++i) p[i] = ByteAt(readPos + i);
                readPos += n;
                return n;
            },
            c.block);
        std::vector<uint8_t> written;
        CWriteBehind writer(
            [&](const uint8_t* p, int64_t n) {
                if (c.failWriteAt >= 0 && static_cast<int64_t>(written.size()) + n > c.failWriteAt) return ENOSPC;
                written.insert(written.end(), p, p + n);
                return 0;
            },
            c.inlineBytes);
        writer.WhenIdle([&] { return reader.ReadOne(); });
        reader.Open();

        // The run: each block, with every byte turned round, into the
        // writer's stream, half of each block written from the stream and
        // half copied.
        int64_t got = 0, result = 0;
        int sent = 0;
        for (;;) {
            const uint8_t* p = nullptr;
            result = reader.Next(p);
            if (result <= 0) break;
            CByteStream& out = writer.Block();
            uint8_t* o = out.Reserve(result);
            for (int64_t i = 0; i < result; ++i) o[i] = static_cast<uint8_t>(~p[i]);
            out.Commit(result);
            writer.Put(out.Data(), result / 2);
            std::vector<uint8_t> copy(out.Data() + result / 2, out.Data() + result);
            writer.Put(copy.data(), static_cast<int64_t>(copy.size()));
            got += result;
            // A slow run; slower still until the writer's thread has read
            // ahead, so that a loaded machine that leaves it no time does
            // not fail the check below.
            for (int i = 0; c.slowRun && (i < 1 || (i < 200 && readElsewhere == 0)); ++i)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            if ((sent = writer.Send()) != 0) break;
        }
        reader.Close();
        const int finished = writer.Finish();

        if (c.failWriteAt >= 0) {
            EXPECT_EQ(finished, ENOSPC);
            EXPECT_LE(static_cast<int64_t>(written.size()), c.failWriteAt);
        } else {
            EXPECT_EQ(finished, 0);
            EXPECT_EQ(sent, 0);
        }
        if (c.failReadAt >= 0) {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(got, c.failReadAt / c.block * c.block);  // every block before the failing one
        } else if (c.failWriteAt < 0) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(got, c.size);
        }
        for (size_t i = 0; i < written.size(); ++i) {
            if (written[i] != static_cast<uint8_t>(~ByteAt(static_cast<int64_t>(i)))) {
                ADD_FAILURE() << "byte " << i << " out of place";
                break;
            }
        }
        if (c.slowRun && c.failReadAt < 0) {
            EXPECT_GT(readElsewhere, 0);
        }
        if (c.failReadAt < 0 && c.failWriteAt < 0) {
            EXPECT_EQ(static_cast<int64_t>(written.size()), c.size);
        }
    }
}

// A file converted by two threads, segment by segment: the bytes written
// must be those of the reference stages on the loaded text (the 0x00 the
// loader adds) less up to two trailing zeros, whatever the block size, the
// cut points (in every block, in few, in none), and where the text ends (a
// 0x1A or 0x00 inside it ends it there); a failed read or write, or a stop
// from the progress, ends the run with its value, and nothing is written
// out of order.
TEST(FileThreads, ParallelRunWritesTheWholeTextsBytes) {
    constexpr int kNoFailure = -1;
    const struct {
        const char* name;
        ConversionPlan plan;
        size_t items, lines;  // of test::RandomText, and line breaks put in (none at all at 0)
        int64_t block;
        int64_t endAt = -1;                   // where a 0x1A or 0x00 goes in
        int64_t failReadAt = kNoFailure;      // a read that reaches past this byte fails
        int64_t failWriteAt = kNoFailure;     // a write that reaches past this byte fails
        int stopAfter = kNoFailure;           // the progress stops the run at its n-th call
        bool changing = false;                // every other read sees no line feed: the bytes are not checked
    } cases[] = {
        {"Shift-JIS to JIS, many lines", {ShiftJis, Jis}, 8000, 2000, 64},
        {"Shift-JIS to UTF-16, a line in some blocks", {ShiftJis, Unicode}, 16'000, 60, 1000},
        {"EUC-JP to UTF-8, blocks past the first look", {EucJp, Utf8}, 60'000, 100, 10'000},
        {"EUC-JP to JIS, lines now and then", {EucJp, Jis}, 30'000, 500, 5000},
        {"UTF-8 to EUC-JP folding kana", {Utf8, EucJp, true, true}, 12'000, 600, 256},
        {"UTF-8 to Shift-JIS, no line at all", {Utf8, ShiftJis}, 8000, 0, 100},
        {"JIS to Shift-JIS, lines in any shift state", {Jis, ShiftJis}, 10'000, 1500, 64},
        {"JIS to UTF-8, blocks past the first look", {Jis, Utf8}, 80'000, 200, 8000},
        {"UTF-16 to Shift-JIS", {Unicode, ShiftJis}, 12'000, 800, 1000},
        {"UTF-16 to UTF-8, long blocks", {Unicode, Utf8}, 40'000, 200, 8192},
        {"Shift-JIS passed through", {ShiftJis, ShiftJis}, 5000, 500, 128},
        {"Shift-JIS folding letters", {ShiftJis, EucJp, false, false, true, false}, 5000, 600, 128},
        {"an empty file", {ShiftJis, Unicode}, 0, 0, 64},
        {"0x1A inside", {ShiftJis, Jis}, 10'000, 800, 500, 23'456},
        {"0x00 inside, UTF-8", {Utf8, Utf8}, 10'000, 800, 500, 23'456},
        {"a failed read", {ShiftJis, Jis}, 10'000, 800, 500, -1, 20'000},
        {"a failed write", {ShiftJis, Jis}, 10'000, 800, 500, -1, kNoFailure, 20'000},
        {"stopped", {ShiftJis, EucJp}, 10'000, 800, 500, -1, kNoFailure, kNoFailure, 10},
        {"a file that changes while it is read", {ShiftJis, Jis}, 80'000, 3000, 5000, -1, kNoFailure, kNoFailure,
         kNoFailure, true},
    };
    std::mt19937 rng(11);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::Form form =
            c.plan.input == Unicode ? test::Form::Utf16 : c.plan.input == Utf8 ? test::Form::Utf8 : test::Form::Bytes;
        test::Bytes text = c.items > 0 ? test::RandomText(rng, form, c.items) : test::Bytes{};
        test::DropTerminators(text, form);
        auto lineBreak = [](uint8_t b) { return b == '\n' || b == '\r'; };
        if (c.lines == 0) std::replace_if(text.begin(), text.end(), lineBreak, 'x');
        text = test::WithLineBreaks(rng, text, form, c.lines);
        if (c.endAt >= 0) text[static_cast<size_t>(c.endAt)] = c.plan.input == Utf8 ? 0x00 : 0x1A;
        CByteStream loaded;
        test::Fill(loaded, test::Loaded(text, c.plan.input));
        reference::ConvertWholeText(c.plan, loaded);
        std::vector<uint8_t> want(loaded.Data(), loaded.Data() + loaded.Size());
        for (int i = 0; i < 2 && !want.empty() && want.back() == 0; ++i) want.pop_back();

        std::vector<uint8_t> written;
        int calls = 0;
        std::atomic<int> reads = 0;
        CParallelRun run(
            c.plan,
            [&](uint8_t* p, int64_t n, int64_t at) -> int64_t {
                const auto size = static_cast<int64_t>(text.size());
                if (c.failReadAt != kNoFailure && at + n > c.failReadAt) return -1;
                n = std::max<int64_t>(0, std::min(n, size - at));
                if (n > 0) std::memcpy(p, text.data() + at, static_cast<size_t>(n));
                if (c.changing && reads++ % 2) std::replace_if(p, p + n, lineBreak, 'x');
                return n;
            },
            [&](const uint8_t* p, int64_t n) {
                const auto after = static_cast<int64_t>(written.size()) + n;
                if (c.failWriteAt != kNoFailure && after > c.failWriteAt) return ENOSPC;
                written.insert(written.end(), p, p + n);
                return 0;
            },
            c.block);
        const int result = run.Run([&](int64_t) { return ++calls == c.stopAfter ? 7 : 0; });
        if (c.failReadAt != kNoFailure) {
            EXPECT_EQ(result, CInputStage::kReadFailed);
        } else if (c.failWriteAt != kNoFailure) {
            EXPECT_EQ(result, ENOSPC);
        } else if (c.stopAfter != kNoFailure) {
            EXPECT_EQ(result, 7);
        } else if (c.changing) {
            EXPECT_EQ(result, 0);
            continue;
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(run.Close(), 0);
            EXPECT_EQ(run.Total(), loaded.Size());  // the zeros Close drops included
            ASSERT_EQ(written.size(), want.size());
        }
        // Whatever was written is the start of the whole result.
        ASSERT_LE(written.size(), want.size());
        EXPECT_TRUE(std::equal(written.begin(), written.end(), want.begin()));
    }
}

}  // namespace
}  // namespace morvel
