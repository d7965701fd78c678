// libFuzzer target: the status-frame scanner over reads of any size, with restarted passes and
// failed reads; what it holds, the frame it keeps and its decoding checked after every step.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "link/receive_buffer.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool Contains(const std::vector<uint8_t>& stream, const uint8_t frame[4]) {
    return std::search(stream.begin(), stream.end(), frame, frame + 4) != stream.end();
}

// `stream`: the bytes read since the pass began or a failed read threw the held ones away.
void Check(const ReceiveBuffer& rb, const std::vector<uint8_t>& stream) {
    FUZZ_CHECK(rb.held() >= 0 && rb.held() <= 3);
    FUZZ_CHECK(rb.Room() == kReceiveBufferSize - rb.held());
    for (int i = rb.held(); i < kReceiveBufferSize; ++i) FUZZ_CHECK(rb.data()[i] == 0);
    FUZZ_CHECK(static_cast<size_t>(rb.held()) <= stream.size());
    FUZZ_CHECK(std::equal(rb.data(), rb.data() + rb.held(), stream.end() - rb.held()));
    const uint8_t* f = rb.frame();
    const bool none = f[0] == 0 && f[1] == 0 && f[2] == 0 && f[3] == 0;
    FUZZ_CHECK(none || (f[0] == kFrameStart && f[3] == kFrameEnd));
    const std::optional<DrawerBits> bits = DecodeStatusFrame(f);
    FUZZ_CHECK(!bits || (f[0] == kFrameStart && f[3] == kFrameEnd));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    ReceiveBuffer rb;
    rb.Reset();
    std::vector<uint8_t> stream;
    size_t reads = 0;  // in this pass
    while (in.remaining_bytes() > 0) {
        const uint8_t op = in.ConsumeIntegral<uint8_t>();
        if (op < 8) {  // a new pass
            rb.Reset();
            stream.clear();
            reads = 0;
        } else if (op < 16) {  // a failed read
            rb.Discard();
            stream.clear();
        } else {
            const size_t n = in.ConsumeIntegralInRange<size_t>(0, static_cast<size_t>(rb.Room()));
            const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(n);
            const std::vector<uint8_t> before(rb.frame(), rb.frame() + 4);
            const size_t joined = static_cast<size_t>(rb.held()) + bytes.size();
            std::copy(bytes.begin(), bytes.end(), rb.WritePointer());
            rb.Accept(static_cast<int>(bytes.size()));
            stream.insert(stream.end(), bytes.begin(), bytes.end());
            if (joined < 4) {
                FUZZ_CHECK(static_cast<size_t>(rb.held()) == joined);  // too few to judge
            } else {
                // A frame start among the last three bytes is held, and nothing else.
                const auto tail = stream.end() - 3;
                FUZZ_CHECK((std::find(tail, stream.end(), kFrameStart) != stream.end()) ==
                           (rb.held() > 0));
                FUZZ_CHECK(rb.held() == 0 || rb.data()[0] == kFrameStart);
            }
            // A new frame is made of bytes that were read.
            if (!std::equal(before.begin(), before.end(), rb.frame())) {
                FUZZ_CHECK(Contains(stream, rb.frame()));
            }
            // The first read of a pass sees its bytes whole: the frame is the one that ends last.
            if (++reads == 1 && stream.size() >= 4) {
                uint8_t last[4] = {};
                for (size_t end = stream.size(); end >= 4; --end) {
                    if (stream[end - 4] == kFrameStart && stream[end - 1] == kFrameEnd) {
                        memcpy(last, &stream[end - 4], 4);
                        break;
                    }
                }
                FUZZ_CHECK(memcmp(rb.frame(), last, 4) == 0);
            }
        }
        Check(rb, stream);
    }
    return 0;
}
