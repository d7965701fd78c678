// The installer's view of the product version.
#include <gtest/gtest.h>

#include "tools/package/package_wxs.h"

namespace {

TEST(InstallerVersion, FirstThreeNumbersAlsoInHex) {
    const struct {
        const char* version;
        const char* text;
        const char* hex;
    } cases[] = {
        {"1.13.1.1", "1.13.1", "010D0001"},
        {"1.13.1", "1.13.1", "010D0001"},
        {"255.255.65535.7", "255.255.65535", "FFFFFFFF"},
    };
    for (const auto& c : cases) {
        package::InstallerVersion v;
        std::string error;
        ASSERT_TRUE(package::ParseInstallerVersion(c.version, &v, &error)) << error;
        EXPECT_EQ(c.text, v.text) << c.version;
        EXPECT_EQ(c.hex, v.hex) << c.version;
    }
    for (const char* bad :
         {"", "1.13", "1.13.1.1.1", "1.13.1.x", "1.13.1.", "256.0.0", "1.0.65536", "1.-1.0"}) {
        package::InstallerVersion v;
        std::string error;
        EXPECT_FALSE(package::ParseInstallerVersion(bad, &v, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
