// libFuzzer target for the reader's status-frame scanner: one read pass made of reads of any
// size (as the port hands them over), with passes restarted and failed reads discarded at
// random. The buffer is compared after every step with a model of the documented rules,
// written over the byte stream rather than the fixed buffer:
//   - the newest complete ESC x x CR among the held bytes and the new ones is the frame;
//   - an unfinished frame start among the last three bytes (the last ESC there) is held for
//     the next read, and fewer than four bytes are all held;
//   - a failed read throws away what is held but not the frame found before.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "link/receive_buffer.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

struct Model {
    std::vector<uint8_t> held;
    uint8_t frame[4] = {};

    void Reset() {
        held.clear();
        memset(frame, 0, sizeof(frame));
    }
    void Accept(const std::vector<uint8_t>& bytes) {
        std::vector<uint8_t> all = held;
        all.insert(all.end(), bytes.begin(), bytes.end());
        if (all.size() < 4) {
            held = all;
            return;
        }
        for (size_t end = all.size(); end >= 4; --end) {
            if (all[end - 4] == kFrameStart && all[end - 1] == kFrameEnd) {
                memcpy(frame, &all[end - 4], 4);
                break;
            }
        }
        held.clear();
        for (size_t back = 1; back <= 3; ++back) {
            if (all[all.size() - back] == kFrameStart) {
                held.assign(all.end() - static_cast<std::ptrdiff_t>(back), all.end());
                break;
            }
        }
    }
};

void CheckAgainst(const ReceiveBuffer& rb, const Model& model) {
    FUZZ_CHECK(rb.held() == static_cast<int>(model.held.size()));
    FUZZ_CHECK(rb.held() >= 0 && rb.held() <= 3);
    FUZZ_CHECK(rb.Room() == kReceiveBufferSize - rb.held());
    FUZZ_CHECK(std::equal(model.held.begin(), model.held.end(), rb.data()));
    for (int i = rb.held(); i < kReceiveBufferSize; ++i) FUZZ_CHECK(rb.data()[i] == 0);
    FUZZ_CHECK(memcmp(rb.frame(), model.frame, 4) == 0);
    const uint8_t* f = rb.frame();
    const bool none = f[0] == 0 && f[1] == 0 && f[2] == 0 && f[3] == 0;
    FUZZ_CHECK(none || (f[0] == kFrameStart && f[3] == kFrameEnd));
}

void CheckDecode(const uint8_t frame[4]) {
    const std::optional<DrawerBits> bits = DecodeStatusFrame(frame);
    const bool known = frame[0] == 0x1B && frame[3] == 0x0D && (frame[1] == 1 || frame[1] == 2);
    FUZZ_CHECK(bits.has_value() == known);
    if (known) {
        FUZZ_CHECK(bits->drawer1 == (frame[2] & 1));
        FUZZ_CHECK(bits->drawer2 == ((frame[2] >> 1) & 1));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    ReceiveBuffer rb;
    Model model;
    rb.Reset();
    model.Reset();
    // Every pass starts from scratch, so the stream of the whole pass is kept for the
    // whole-stream property below.
    std::vector<uint8_t> pass;
    size_t reads = 0;
    while (in.remaining_bytes() > 0) {
        const uint8_t op = in.ConsumeIntegral<uint8_t>();
        if (op < 8) {  // a new pass
            rb.Reset();
            model.Reset();
            pass.clear();
            reads = 0;
        } else if (op < 16) {  // a failed read
            rb.Discard();
            model.held.clear();
            pass.clear();
            reads = 2;  // the property below no longer applies to this pass
        } else {
            const size_t n = in.ConsumeIntegralInRange<size_t>(0, static_cast<size_t>(rb.Room()));
            const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(n);
            std::copy(bytes.begin(), bytes.end(), rb.WritePointer());
            rb.Accept(static_cast<int>(bytes.size()));
            model.Accept(bytes);
            pass.insert(pass.end(), bytes.begin(), bytes.end());
            ++reads;
            // A pass of one read sees its bytes whole: the frame is the one that ends last.
            if (reads == 1 && pass.size() >= 4) {
                uint8_t last[4] = {};
                for (size_t end = pass.size(); end >= 4; --end) {
                    if (pass[end - 4] == 0x1B && pass[end - 1] == 0x0D) {
                        memcpy(last, &pass[end - 4], 4);
                        break;
                    }
                }
                FUZZ_CHECK(memcmp(rb.frame(), last, 4) == 0);
            }
        }
        CheckAgainst(rb, model);
        CheckDecode(rb.frame());
    }
    if (size >= 4) CheckDecode(data);
    return 0;
}
