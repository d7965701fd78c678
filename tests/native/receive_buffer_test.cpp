// The reader's frame scanning: every frame of a pass in order, unfinished frame starts carry
// over between reads, unknown frame types are ignored.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "link/receive_buffer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Feeds each chunk as one read and returns the frame found by the end of the pass; `found`
// gets how many frames each read completed.
Bytes Scan(ReceiveBuffer& rb, const std::vector<Bytes>& reads, std::vector<int>* found = nullptr) {
    rb.Reset();
    for (const auto& chunk : reads) {
        EXPECT_LE(chunk.size(), static_cast<size_t>(rb.Room()));
        memcpy(rb.WritePointer(), chunk.data(), chunk.size());
        const int n = rb.Accept(static_cast<int>(chunk.size()));
        if (found) found->push_back(n);
    }
    return Bytes(rb.frame(), rb.frame() + 4);
}

// A drawer opened and closed within one pass: both frames, in order, across reads and a
// frame split between them; a new pass forgets them.
TEST(ReceiveBuffer, EveryFrameOfAPassIsKeptInOrder) {
    ReceiveBuffer rb;
    std::vector<int> found;
    Scan(rb,
         {{0x1B, 0x01, 0x01, 0x0D, 0x55, 0x1B},
          {0x01, 0x00, 0x0D, 0x1B, 0x01, 0x01},
          {0x55, 0x55},
          {0x0D, 0x1B, 0x01, 0x01, 0x0D}},
         &found);
    // Each read tells of the frames it completed only: a read without one tells of none, so a
    // frame is reported (and traced) once.
    EXPECT_EQ((std::vector<int>{1, 1, 0, 1}), found);
    ASSERT_EQ(3, rb.frameCount());
    EXPECT_EQ(Bytes({0x1B, 0x01, 0x01, 0x0D}), Bytes(rb.frameAt(0), rb.frameAt(0) + 4));
    EXPECT_EQ(Bytes({0x1B, 0x01, 0x00, 0x0D}), Bytes(rb.frameAt(1), rb.frameAt(1) + 4));
    EXPECT_EQ(Bytes({0x1B, 0x01, 0x01, 0x0D}), Bytes(rb.frameAt(2), rb.frameAt(2) + 4));
    // More frames than are kept: the newest ones stay, the last still the newest.
    std::vector<Bytes> reads;
    for (int i = 0; i < kMaxPassFrames + 5; ++i) {
        reads.push_back({0x1B, 0x01, static_cast<uint8_t>(i & 0x03), 0x0D});
    }
    Scan(rb, reads);
    ASSERT_EQ(kMaxPassFrames, rb.frameCount());
    EXPECT_EQ(5 & 0x03, rb.frameAt(0)[2]);
    EXPECT_EQ(Bytes(rb.frame(), rb.frame() + 4),
              Bytes(rb.frameAt(kMaxPassFrames - 1), rb.frameAt(kMaxPassFrames - 1) + 4));
    rb.Reset();
    EXPECT_EQ(0, rb.frameCount());
}

// A frame start at the end of a read, after other bytes or none, joins the next reads; the
// frame that ends a single read last is the fuzz target's to check.
TEST(ReceiveBuffer, AFrameSplitAnywhereAfterNoiseIsFound) {
    const Bytes frame = {0x1B, 0x02, 0x02, 0x0D};
    for (const Bytes& noise : {Bytes{}, Bytes{0x00, 0x00, 0x00}, Bytes{0x55, 0x55}}) {
        for (size_t first = 1; first < 4; ++first) {
            for (size_t second = first; second <= 4; ++second) {
                ReceiveBuffer rb;
                std::vector<Bytes> reads = {noise};
                reads[0].insert(reads[0].end(), frame.begin(), frame.begin() + first);
                if (second > first)
                    reads.push_back({frame.begin() + first, frame.begin() + second});
                if (second < 4) reads.push_back({frame.begin() + second, frame.end()});
                EXPECT_EQ(frame, Scan(rb, reads)) << noise.size() << ": " << first << "," << second;
                EXPECT_EQ(0, rb.held());
            }
        }
    }
}

TEST(DecodeStatusFrame, KnownTypesOnly) {
    const uint8_t open2[] = {0x1B, 0x02, 0x02, 0x0D}, all[] = {0x1B, 0x01, 0xFF, 0x0D};
    const auto bits = DecodeStatusFrame(open2), allBits = DecodeStatusFrame(all);
    ASSERT_TRUE(bits && allBits);
    EXPECT_TRUE(bits->drawer1 == 0 && bits->drawer2 == 1 && allBits->drawer1 == 1 &&
                allBits->drawer2 == 1);
    const uint8_t type3[] = {0x1B, 0x03, 0x01, 0x0D}, noEnd[] = {0x1B, 0x02, 0x01, 0x0A},
                  nothing[] = {0, 0, 0, 0};
    for (const uint8_t* bad : {type3, noEnd, nothing}) EXPECT_FALSE(DecodeStatusFrame(bad));
}

}  // namespace
