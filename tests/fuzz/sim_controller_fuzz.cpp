// libFuzzer target: the simulated controller from any valid state file, any port bytes and a
// clock that may jump back; valid after each step, whole transfers, well formed frames.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ports/sim_controller.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

class Sink final : public sim::HostSink {
public:
    std::vector<uint8_t> bytes;
    bool fresh = true;  // a controller that started from the defaults sends no empty transfer
    void Bytes(const uint8_t* data, size_t length) override {
        FUZZ_CHECK(length <= sim::kChunkBytes);
        FUZZ_CHECK(length >= 1 || !fresh);
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
    bool fresh = true;
    if (in.ConsumeBool()) {
        const std::vector<uint8_t> file = in.ConsumeBytes<uint8_t>(sizeof(sim::State));
        memset(&s, 0, sizeof(s));
        std::copy(file.begin(), file.end(), reinterpret_cast<uint8_t*>(&s));
        if (in.ConsumeBool()) {  // a file of the right kind, whatever else it holds
            s.magic = sim::kStateMagic;
            s.version = sim::kStateVersion;
            s.size = sizeof(sim::State);
            s.parseLength %= 3;
            if (s.baud == 0) s.baud = 1;
            for (sim::Action& a : s.actions) {
                a.kind = static_cast<sim::ActionKind>(static_cast<uint8_t>(a.kind) % 7);
                a.arg %= sim::kDrawers;
                a.length %= sim::kChunkBytes + 1;
            }
        }
        fresh = !sim::IsValid(s);
    }
    if (fresh) sim::Initialize(s, now);
    bool injected = !fresh;
    Sink sink;
    sink.fresh = fresh;
    int steps = 0;
    while (in.remaining_bytes() > 0 && steps++ < 200) {
        const uint8_t op = in.ConsumeIntegralInRange<uint8_t>(0, 13);
        if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
            now -= std::min<uint64_t>(now, in.ConsumeIntegralInRange<uint64_t>(0, 5000000));
        } else {
            now += in.ConsumeIntegralInRange<uint64_t>(0, 200000);
        }
        switch (op) {
            case 0:
                sim::Attach(s, now, in.ConsumeIntegralInRange<uint32_t>(0, 4000000));
                break;
            case 1:
                sim::Detach(s);
                break;
            case 2:
            case 3: {
                const std::vector<uint8_t> bytes =
                    in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 200));
                sim::HostWrite(s, now, bytes.data(), bytes.size());
                break;
            }
            case 4: {
                static const uint8_t kCommands[][4] = {
                    {0x1B, 0x02, 0x01, 0x00}, {0x1B, 0x01, 0x00, 0x05}, {0x1B, 0x01, 0x01, 0x1B}};
                const size_t which = in.ConsumeIntegralInRange<size_t>(0, 2);
                sim::HostWrite(s, now, kCommands[which], in.ConsumeIntegralInRange<size_t>(1, 4));
                break;
            }
            case 5:
            case 6:
                sim::Advance(s, now, &sink);
                break;
            case 7:
                sim::Advance(s, now, nullptr);
                break;
            case 8:
                sim::SetDrawer(s, now, in.ConsumeIntegralInRange<size_t>(0, 2), in.ConsumeBool());
                break;
            case 9:
                sim::SetCts(s, in.ConsumeBool());
                sim::SetDsr(s, in.ConsumeBool());
                break;
            case 10: {
                const std::vector<uint8_t> bytes =
                    in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 256));
                // A long injection may be cut short by a full schedule: what fitted is sent.
                injected |= s.attached && !bytes.empty();
                sim::InjectBytes(s, now, bytes.data(), bytes.size());
                sim::InjectBreak(s, now);
                sim::InjectError(s, now);
                break;
            }
            case 11:
                sim::PurgeHostBytes(s);
                break;
            case 12:
                s.answering = in.ConsumeBool();
                s.notify = in.ConsumeBool();
                s.autoCloseOn = in.ConsumeBool();
                s.autoCloseMs = in.ConsumeIntegralInRange<uint32_t>(0, sim::kMaxDelayMs);
                s.replyDelayMs = in.ConsumeIntegralInRange<uint32_t>(0, sim::kMaxDelayMs);
                s.openDelayMs = in.ConsumeIntegralInRange<uint32_t>(0, sim::kMaxDelayMs);
                break;
            default:
                sim::Reset(s, now);
                break;
        }
        FUZZ_CHECK(sim::IsValid(s));
        FUZZ_CHECK(s.parseLength < 3);
        sim::NextDue(s, true);
    }
    // Whatever is still scheduled is carried out once its time has come.
    sim::Advance(s, now + 8000000000ull, &sink);
    FUZZ_CHECK(sim::IsValid(s));
    if (!injected) {
        FUZZ_CHECK(sink.bytes.size() % 4 == 0);
        for (size_t i = 0; i < sink.bytes.size(); i += 4) {
            FUZZ_CHECK(sink.bytes[i] == 0x1B && sink.bytes[i + 3] == 0x0D);
            FUZZ_CHECK(sink.bytes[i + 1] == 0x01 || sink.bytes[i + 1] == 0x02);
            FUZZ_CHECK(sink.bytes[i + 2] <= 3);
        }
    }
    return 0;
}
