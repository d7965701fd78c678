// libFuzzer target: DirectIO binary conversion in every mode; result blocks well formed,
// encodings that decode to themselves, text and UTF-16 decoded alike, null arguments refused.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_check.h"
#include "util/opostr.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The block and its length, checked: null exactly when empty, one zero byte after the data.
Bytes Take(uint8_t* raw, int32_t length) {
    std::unique_ptr<uint8_t[]> block(raw);
    FUZZ_CHECK((block == nullptr) == (length == 0) && length >= 0);
    if (!block) return {};
    FUZZ_CHECK(block[length] == 0);
    return Bytes(block.get(), block.get() + length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    COPOStr conv;
    const int32_t own = in.PickValueInArray<int32_t>({0, 1, 2, 3, -5, 100});
    conv.SetMode(own);
    const int32_t picked = in.PickValueInArray<int32_t>({0, 1, 2, -1, 3, 7, -2, INT32_MIN});
    const int32_t resolved = picked == -1 ? own : picked;
    // Characters per byte: 2 in nibble mode, 3 in decimal mode, 1 (no conversion) otherwise.
    const size_t width = resolved == OPOS_BC_NIBBLE ? 2 : resolved == OPOS_BC_DECIMAL ? 3 : 1;
    const std::string text = in.ConsumeRandomLengthString(4096);

    int32_t length = -7;
    const Bytes decoded = Take(conv.StringToBytes(text.c_str(), &length, picked), length);
    FUZZ_CHECK(decoded.size() <= strlen(text.c_str()) / width);
    if (width == 1) FUZZ_CHECK(decoded.size() == strlen(text.c_str()));
    // Decoded bytes encode to a text that decodes to them again.
    const std::string reencoded =
        conv.BytesToString(decoded.data(), static_cast<int32_t>(decoded.size()), picked);
    FUZZ_CHECK(Take(conv.StringToBytes(reencoded.c_str(), &length, picked), length) == decoded);
    FUZZ_CHECK(conv.StringToBytes(text.c_str(), nullptr, picked) == nullptr);
    length = 5;
    FUZZ_CHECK(conv.StringToBytes(nullptr, &length, picked) == nullptr && length == 0);

    // Bytes to text and back.
    const Bytes bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 600));
    const int32_t count = static_cast<int32_t>(bytes.size());
    const std::string encoded = conv.BytesToString(bytes.data(), count, picked);
    FUZZ_CHECK(conv.BytesToString(nullptr, count, picked).empty());
    FUZZ_CHECK(conv.BytesToString(bytes.data(), 0, picked).empty());
    FUZZ_CHECK(conv.BytesToString(bytes.data(), -count - 1, picked).empty());
    if (width == 1) {
        // Without conversion a zero byte ends the text.
        const size_t zero = std::find(bytes.begin(), bytes.end(), 0) - bytes.begin();
        FUZZ_CHECK(encoded == std::string(bytes.begin(), bytes.begin() + zero));
    } else {
        FUZZ_CHECK(encoded.size() == width * bytes.size());
        FUZZ_CHECK(Take(conv.StringToBytes(encoded.c_str(), &length, picked), length) == bytes);
    }

    // UTF-16 strings as an application passes them: every unit to one byte, units above 0xFF
    // to a zero byte that keeps its place (which ends the text unless nothing is converted).
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
    const Bytes wide = Take(conv.WideToBytes(units.data(), &wideLength, picked), wideLength);
    if (resolved == OPOS_BC_NONE) {
        FUZZ_CHECK(wide == Bytes(narrowed.begin(), narrowed.end()));
    } else {
        FUZZ_CHECK(wide == Take(conv.StringToBytes(narrowed.c_str(), &length, picked), length));
    }
    FUZZ_CHECK(conv.WideToBytes(units.data(), nullptr, picked) == nullptr);
    return 0;
}
