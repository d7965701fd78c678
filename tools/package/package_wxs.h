// The installer package of one build as a WiX source for wixl: the four modules in Program
// Files, the registration table, the maker's key, and a device from public properties. Pure.
#pragma once

#include <string>

namespace package {

// The product version as Windows Installer compares it: the first three numbers of VERSION
// (a fourth is ignored by the installer), each within its limit (255, 255, 65535).
struct InstallerVersion {
    std::string text;  // "1.13.1"
    std::string hex;   // the three numbers as 8 hex digits (2, 2, 4), for the product code
};
bool ParseInstallerVersion(const std::string& version, InstallerVersion* out, std::string* error);

struct PackageOptions {
    bool win64 = true;
    std::string version;  // the product version, four numbers as in VERSION
};

// The WiX source; empty when the version is not valid (error says why). The modules are
// named without a folder: wixl finds them in its working folder, the build's output folder.
std::string PackageWxs(const PackageOptions& options, std::string* error);

// Text for an XML attribute value in double quotes.
std::string XmlAttribute(const std::string& text);

}  // namespace package
