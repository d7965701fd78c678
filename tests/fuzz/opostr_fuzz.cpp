// libFuzzer target for the binary conversion of DirectIO strings: StringToBytes, BytesToString
// and WideToBytes in every mode (none, nibble, decimal, the object's own mode through -1, and
// modes the service does not know, which convert nothing). Each result is compared with the
// documented packing, and what the service encodes must decode to the same bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_check.h"
#include "util/opostr.h"

namespace {

// Nibble and decimal modes carry data in a leading run of their characters; everything else
// (every other mode number included) takes the text as it is, up to its NUL.
int32_t Effective(int32_t mode) {
    return mode == OPOS_BC_NIBBLE || mode == OPOS_BC_DECIMAL ? mode : OPOS_BC_NONE;
}

std::vector<uint8_t> ExpectedBytes(const std::string& text, int32_t mode) {
    const std::string t = fuzz::UpToNul(text);
    std::vector<uint8_t> out;
    if (mode == OPOS_BC_NIBBLE) {
        size_t run = 0;
        while (run < t.size() && t[run] >= '0' && t[run] <= '?') ++run;
        for (size_t i = 0; i + 1 < run; i += 2) {
            out.push_back(static_cast<uint8_t>(((t[i] & 0x0F) << 4) | (t[i + 1] & 0x0F)));
        }
    } else if (mode == OPOS_BC_DECIMAL) {
        size_t run = 0;
        while (run < t.size() && ((t[run] >= '0' && t[run] <= '9') || t[run] == ' ')) ++run;
        for (size_t i = 0; i + 2 < run; i += 3) {
            // A blank reads as 0 (its low four bits); "999" wraps to 231.
            const unsigned v = 100 * (t[i] & 0x0F) + 10 * (t[i + 1] & 0x0F) + (t[i + 2] & 0x0F);
            out.push_back(static_cast<uint8_t>(v & 0xFF));
        }
    } else {
        out.assign(t.begin(), t.end());
    }
    return out;
}

std::string ExpectedText(const std::vector<uint8_t>& bytes, int32_t mode) {
    std::string out;
    for (uint8_t b : bytes) {
        if (mode == OPOS_BC_NIBBLE) {
            out.push_back(static_cast<char>('0' + (b >> 4)));
            out.push_back(static_cast<char>('0' + (b & 0x0F)));
        } else if (mode == OPOS_BC_DECIMAL) {
            out.push_back(static_cast<char>('0' + b / 100));
            out.push_back(static_cast<char>('0' + b / 10 % 10));
            out.push_back(static_cast<char>('0' + b % 10));
        } else {
            if (b == 0) break;  // a zero byte ends the text
            out.push_back(static_cast<char>(b));
        }
    }
    return out;
}

void CheckStringToBytes(const COPOStr& conv, const std::string& text, int32_t mode,
                        int32_t effective) {
    int32_t length = -7;
    std::unique_ptr<uint8_t[]> block(conv.StringToBytes(text.c_str(), &length, mode));
    const std::vector<uint8_t> expected = ExpectedBytes(text, effective);
    if (expected.empty()) {
        FUZZ_CHECK(block == nullptr);
        FUZZ_CHECK(length == 0);
        return;
    }
    FUZZ_CHECK(block != nullptr);
    FUZZ_CHECK(length == static_cast<int32_t>(expected.size()));
    FUZZ_CHECK(memcmp(block.get(), expected.data(), expected.size()) == 0);
    FUZZ_CHECK(block[expected.size()] == 0);  // one terminating zero byte after the data
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    COPOStr conv;
    const int32_t own = in.PickValueInArray<int32_t>({0, 1, 2, 3, -5, 100});
    conv.SetMode(own);
    const int32_t picked = in.PickValueInArray<int32_t>({0, 1, 2, -1, 3, 7, -2, INT32_MIN});
    const int32_t resolved = picked == -1 ? own : picked;
    const int32_t effective = Effective(resolved);
    const std::string text = in.ConsumeRandomLengthString(4096);

    CheckStringToBytes(conv, text, picked, effective);
    // A null length pointer gives nothing and touches nothing; a null text gives nothing.
    FUZZ_CHECK(conv.StringToBytes(text.c_str(), nullptr, picked) == nullptr);
    int32_t length = 5;
    FUZZ_CHECK(conv.StringToBytes(nullptr, &length, picked) == nullptr && length == 0);

    // Bytes to text and back.
    const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 600));
    const int32_t count = static_cast<int32_t>(bytes.size());
    const std::string encoded = conv.BytesToString(bytes.data(), count, picked);
    FUZZ_CHECK(encoded == ExpectedText(bytes, effective));
    FUZZ_CHECK(conv.BytesToString(nullptr, count, picked).empty());
    FUZZ_CHECK(conv.BytesToString(bytes.data(), 0, picked).empty());
    FUZZ_CHECK(conv.BytesToString(bytes.data(), -count - 1, picked).empty());
    if (effective != OPOS_BC_NONE && count > 0) {
        int32_t back = 0;
        std::unique_ptr<uint8_t[]> decoded(conv.StringToBytes(encoded.c_str(), &back, picked));
        FUZZ_CHECK(decoded != nullptr && back == count);
        FUZZ_CHECK(memcmp(decoded.get(), bytes.data(), bytes.size()) == 0);
    }

    // UTF-16 strings as an application passes them: every unit to one byte (units above 0xFF
    // to a zero byte that keeps its place). Mode none hands those bytes out; every other mode
    // reads them as text, which ends at the first zero byte.
    std::vector<char16_t> units;
    while (in.remaining_bytes() >= 2 && units.size() < 1024) {
        const char16_t u = in.ConsumeIntegral<char16_t>();
        if (u == 0) break;
        units.push_back(u);
    }
    units.push_back(0);
    std::string narrowed;
    for (char16_t u : units) {
        if (u == 0) break;
        narrowed.push_back(u < 0x100 ? static_cast<char>(u) : '\0');
    }
    int32_t wideLength = -3;
    std::unique_ptr<uint8_t[]> wide(conv.WideToBytes(units.data(), &wideLength, picked));
    if (resolved == OPOS_BC_NONE) {
        if (narrowed.empty()) {
            FUZZ_CHECK(wide == nullptr && wideLength == 0);
        } else {
            FUZZ_CHECK(wide != nullptr && wideLength == static_cast<int32_t>(narrowed.size()));
            FUZZ_CHECK(memcmp(wide.get(), narrowed.data(), narrowed.size()) == 0);
        }
    } else {
        const std::vector<uint8_t> expected = ExpectedBytes(narrowed, effective);
        FUZZ_CHECK(wideLength == static_cast<int32_t>(expected.size()));
        FUZZ_CHECK((wide == nullptr) == expected.empty());
        if (wide) FUZZ_CHECK(memcmp(wide.get(), expected.data(), expected.size()) == 0);
    }
    FUZZ_CHECK(conv.WideToBytes(units.data(), nullptr, picked) == nullptr);
    return 0;
}
