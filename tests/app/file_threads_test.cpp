// The two threads of a long file run: blocks read by the run or ahead by the
// output's thread, and written behind on that thread. Whatever thread reads
// or writes, every byte must arrive once and in order, and a failed read or
// write must reach the run at the block where it happened.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "app/read_ahead.h"
#include "app/write_behind.h"

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

}  // namespace
}  // namespace morvel
