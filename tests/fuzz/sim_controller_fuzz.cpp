// libFuzzer target: the simulated controller fed any host bytes on a clock that may jump back;
// its state stays valid and everything it sends is whole, well formed frames.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

#include "ports/sim_controller.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

struct Sink final : sim::HostSink {
    std::vector<uint8_t> bytes;
    void Bytes(const uint8_t* data, size_t length) override {
        FUZZ_CHECK(length >= 1 && length <= sim::kChunkBytes);
        bytes.insert(bytes.end(), data, data + length);
    }
    void Break() override {}
    void LineError() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    static sim::State s;
    uint64_t now = in.ConsumeIntegralInRange<uint64_t>(0, uint64_t{1} << 40);
    sim::Initialize(s, now);
    sim::Attach(s, now, 9600);
    Sink sink;
    for (int steps = 0; in.remaining_bytes() > 0 && steps < 200; ++steps) {
        const uint8_t op = in.ConsumeIntegralInRange<uint8_t>(0, 4);
        if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
            now -= std::min<uint64_t>(now, in.ConsumeIntegralInRange<uint64_t>(0, 5000000));
        } else {
            now += in.ConsumeIntegralInRange<uint64_t>(0, 200000);
        }
        if (op == 0) {
            const std::vector<uint8_t> bytes =
                in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 200));
            sim::HostWrite(s, now, bytes.data(), bytes.size());
        } else if (op == 1) {  // the start of a real command, so that noise splits them
            static const uint8_t kCommands[][4] = {
                {0x1B, 0x02, 0x01, 0x00}, {0x1B, 0x01, 0x00, 0x05}, {0x1B, 0x01, 0x01, 0x1B}};
            const size_t which = in.ConsumeIntegralInRange<size_t>(0, 2);
            sim::HostWrite(s, now, kCommands[which], in.ConsumeIntegralInRange<size_t>(1, 4));
        } else if (op == 2) {
            sim::Advance(s, now, &sink);
        } else if (op == 3) {
            sim::SetDrawer(s, now, in.ConsumeIntegralInRange<size_t>(0, 2), in.ConsumeBool());
        } else {
            sim::PurgeHostBytes(s);
        }
        FUZZ_CHECK(sim::IsValid(s));
        FUZZ_CHECK(s.parseLength < 3);
    }
    sim::Advance(s, now + 8000000000ull, &sink);
    FUZZ_CHECK(sim::IsValid(s));
    FUZZ_CHECK(sink.bytes.size() % 4 == 0);
    for (size_t i = 0; i < sink.bytes.size(); i += 4) {
        FUZZ_CHECK(sink.bytes[i] == 0x1B && sink.bytes[i + 3] == 0x0D);
        FUZZ_CHECK(sink.bytes[i + 1] == 0x01 || sink.bytes[i + 1] == 0x02);
        FUZZ_CHECK(sink.bytes[i + 2] <= 3);
    }
    return 0;
}
