// libFuzzer target: any bytes as counter text (DirectIO 114, the counter file); a refused text
// changes nothing, and what the service writes itself always reads back to the same values.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>
#include <vector>

#include "ras/counter_file_rules.h"
#include "ras/counter_text.h"
#include "ras/ras_data.h"
#include "tests/fuzz/fuzz_check.h"
#include "util/opos_constants.h"

namespace {

constexpr char kDrawerOpenCount[] = "DrawerOpenCount             ";
static_assert(sizeof(kDrawerOpenCount) == kRasCounterNameLength + 1, "a 28-character name");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // The service's one counter first, then up to three more names of 28 bytes without NUL.
    std::vector<std::string> names = {kDrawerOpenCount};
    const size_t extra = in.ConsumeIntegralInRange<size_t>(0, 3);
    for (size_t k = 0; k < extra; ++k) {
        std::string name = in.ConsumeBytesAsString(28);
        name.resize(28, ' ');
        for (char& c : name) {
            if (c == '\0') c = ' ';
        }
        names.push_back(name);
    }
    std::vector<const char*> pointers;
    for (const std::string& n : names) pointers.push_back(n.c_str());
    const int32_t count = static_cast<int32_t>(names.size());
    FUZZ_CHECK(CounterNamesValid(pointers.data(), count));

    std::vector<uint32_t> values(names.size());
    for (uint32_t& v : values) v = in.ConsumeIntegral<uint32_t>();

    // Either a text of the input's own bytes, or lines assembled from pieces that are nearly
    // right, which reaches the later checks of a line far more often.
    std::string text;
    if (in.ConsumeBool()) {
        const size_t lines = in.ConsumeIntegralInRange<size_t>(1, 6);
        for (size_t l = 0; l < lines; ++l) {
            std::string line = names[in.ConsumeIntegralInRange<size_t>(0, names.size() - 1)];
            if (in.ConsumeBool()) {
                for (char& c : line) c = in.ConsumeBool() && c >= 'A' && c <= 'Z' ? c + 32 : c;
            }
            std::string field = in.ConsumeBytesAsString(10);
            field.insert(0, 10 - field.size(), ' ');
            line += field + "\r\n";
            if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
                line.erase(in.ConsumeIntegralInRange<size_t>(0, line.size() - 1), 1);
            }
            text += line;
        }
    } else {
        text = in.ConsumeRemainingBytesAsString();
    }

    std::vector<uint32_t> got = values;
    const int32_t result =
        ParseCounterText(text.data(), text.size(), pointers.data(), count, got.data());
    FUZZ_CHECK(result == OPOS_SUCCESS || result == OPOS_E_ILLEGAL);
    if (text.empty() || text.size() % kRasCounterLineLength != 0)
        FUZZ_CHECK(result != OPOS_SUCCESS);
    if (result != OPOS_SUCCESS) {
        FUZZ_CHECK(got == values);  // all or nothing
    } else {
        // Reading the same text once more changes nothing more.
        std::vector<uint32_t> twice = got;
        FUZZ_CHECK(ParseCounterText(text.data(), text.size(), pointers.data(), count,
                                    twice.data()) == OPOS_SUCCESS);
        FUZZ_CHECK(twice == got);
    }

    // What the service writes reads back to the same values, in any letter case.
    const std::string written = BuildCounterText(pointers.data(), got.data(), count);
    FUZZ_CHECK(written.size() == kRasCounterLineLength * names.size());
    std::vector<uint32_t> back(names.size(), 0);
    FUZZ_CHECK(ParseCounterText(written.data(), written.size(), pointers.data(), count,
                                back.data()) == OPOS_SUCCESS);
    // Names that are equal but for letter case are found in turn from the previous line on,
    // so a written text reads back into the same slots.
    FUZZ_CHECK(back == got);

    // Any file: the values change only when it is a counter file.
    std::vector<uint32_t> looked = got;
    if (ClassifyCounterFile(text, pointers.data(), count, looked.data()) !=
        CounterFileKind::Counters) {
        FUZZ_CHECK(looked == got);
    }
    return 0;
}
