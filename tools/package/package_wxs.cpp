// The WiX source of an installer package. Only what wixl 0.101 builds and Wine's msiexec runs
// is used: no conditions on components or features, and every custom action and the removal
// of an older version placed by an explicit sequence number (wixl orders After and Before
// wrongly).
#include "tools/package/package_wxs.h"

#include <cstdio>
#include <sstream>
#include <vector>

#include "server/server_registry.h"
#include "so/device_config.h"

namespace package {

namespace {

// One product per build, so that both can be installed side by side.
constexpr char kUpgradeCode64[] = "CFBEA03B-8C97-46DA-AEB8-3A7E794DA53C";
constexpr char kUpgradeCode32[] = "E501F518-E02B-429F-B6C7-452C43969822";
// Product codes: this prefix and the version, so that every package of one version is one
// product: it uninstalls what any of them installed, and installs only once.
constexpr char kProductPrefix64[] = "811E7BE8-EDF1-4CFE-8859-";
constexpr char kProductPrefix32[] = "2E7B2283-C2BC-4885-8501-";
// Component GUIDs: this prefix and two hex digits per component, fixed for all versions.
constexpr char kComponentPrefix64[] = "D26ED28D-2489-4016-9066-4A1D19F1F5";
constexpr char kComponentPrefix32[] = "C800EA93-F99E-4CE2-A730-99FF0E64E1";
// Where the installer remembers the device it created, for the uninstall.
constexpr char kProductKey[] = "SOFTWARE\\Velmora\\Vantrel\\Bramwick";

bool Number(const std::string& text, unsigned long* value) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    *value = std::stoul(text);
    return true;
}

const char* RootName(RegistrationValue::Root root) {
    return root == RegistrationValue::Root::LocalMachine ? "HKLM" : "HKCR";
}

const char* TypeName(RegistrationValue::Type type) {
    switch (type) {
        case RegistrationValue::Type::ExpandText:
            return "expandable";
        case RegistrationValue::Type::Dword:
            return "integer";
        case RegistrationValue::Type::Text:
            break;
    }
    return "string";
}

}  // namespace

std::string XmlAttribute(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool ParseInstallerVersion(const std::string& version, InstallerVersion* out, std::string* error) {
    std::vector<unsigned long> parts;
    std::stringstream stream(version);
    std::string part;
    bool numbers = !version.empty() && version.back() != '.';
    while (numbers && std::getline(stream, part, '.')) {
        unsigned long value = 0;
        numbers = Number(part, &value);
        parts.push_back(value);
    }
    if (!numbers || parts.size() < 3 || parts.size() > 4) {
        *error = "version '" + version + "' is not three or four numbers";
        return false;
    }
    if (parts[0] > 255 || parts[1] > 255 || parts[2] > 65535) {
        *error = "version '" + version + "' is beyond the installer's limits 255.255.65535";
        return false;
    }
    char hex[16];
    snprintf(hex, sizeof(hex), "%02lX%02lX%04lX", parts[0], parts[1], parts[2]);
    out->text =
        std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]);
    out->hex = hex;
    return true;
}

std::string PackageWxs(const PackageOptions& options, std::string* error) {
    InstallerVersion version;
    if (!ParseInstallerVersion(options.version, &version, error)) return "";
    const std::string arch = options.win64 ? "x64" : "x86";
    const std::string win64 = options.win64 ? " Win64=\"yes\"" : "";
    const std::string upgradeCode = options.win64 ? kUpgradeCode64 : kUpgradeCode32;
    int componentNumber = 0;
    auto component = [&](const char* id) {
        char guid[64];
        snprintf(guid, sizeof(guid), "%s%02X",
                 options.win64 ? kComponentPrefix64 : kComponentPrefix32, componentNumber++);
        return std::string("        <Component Id=\"") + id + "\" Guid=\"" + guid + "\"" + win64 +
               ">\n";
    };
    auto file = [&](const char* name) {
        return std::string("          <File Id=\"") + name + "\" Name=\"" + name + "\" Source=\"" +
               name + "\" KeyPath=\"yes\"/>\n";
    };
    auto value = [&](const char* root, const std::string& key, const std::string& name,
                     const char* type, const std::string& text, bool keyPath = false) {
        return std::string("          <RegistryValue Root=\"") + root + "\" Key=\"" +
               XmlAttribute(key) + "\"" +
               (name.empty() ? "" : " Name=\"" + XmlAttribute(name) + "\"") + " Type=\"" + type +
               "\" Value=\"" + XmlAttribute(text) + "\"" + (keyPath ? " KeyPath=\"yes\"" : "") +
               "/>\n";
    };
    // An installed cdctl.exe creates and removes the device; its exit status is the action's.
    auto cdctl = [&](const char* id, const std::string& command, bool check) {
        return std::string("    <CustomAction Id=\"") + id +
               "\" FileKey=\"cdctl.exe\" ExeCommand=\"" + XmlAttribute(command) +
               "\" Execute=\"deferred\" Impersonate=\"no\" Return=\"" +
               (check ? "check" : "ignore") + "\"/>\n";
    };
    const std::string product = "Bramwick " + options.version + " (" + arch + ")";

    std::string x = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    x += "<!-- Generated by bramwick_wxs (tools/package): the installer package of the " + arch +
         " build. -->\n";
    x += "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n";
    x += "  <Product Id=\"" + std::string(options.win64 ? kProductPrefix64 : kProductPrefix32) +
         version.hex + "0000\" Name=\"Bramwick OPOS CashDrawer Service Object (" + arch +
         ")\" Manufacturer=\"Bramwick project\" Version=\"" + version.text +
         "\" Language=\"1033\" UpgradeCode=\"" + upgradeCode + "\">\n";
    x += "    <Package InstallerVersion=\"200\" Compressed=\"yes\" InstallScope=\"perMachine\" "
         "Description=\"" +
         XmlAttribute(product) + "\"/>\n";
    x += "    <Media Id=\"1\" Cabinet=\"bramwick.cab\" EmbedCab=\"yes\"/>\n";
    x += "    <MajorUpgrade DowngradeErrorMessage=\"A newer version of Bramwick is already "
         "installed.\"/>\n";
    x += "    <Condition Message=\"" + XmlAttribute(product) +
         " is already installed; uninstall it before installing it again.\">"
         "NOT Installed OR REMOVE OR REINSTALL</Condition>\n";
    x += "    <Property Id=\"KEEPDATA\" Value=\"1\"/>\n";
    x += "    <Property Id=\"BRAMWICKDEVICE\">\n";
    x += "      <RegistrySearch Id=\"RememberedDevice\" Root=\"HKLM\" Key=\"" +
         XmlAttribute(kProductKey) + "\" Name=\"Device\" Type=\"raw\"" + win64 + "/>\n";
    x += "    </Property>\n";

    x += "    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">\n";
    x += std::string("     <Directory Id=\"") +
         (options.win64 ? "ProgramFiles64Folder" : "ProgramFilesFolder") + "\">\n";
    x += "      <Directory Id=\"OPOSFOLDER\" Name=\"OPOS\">\n";
    x += "       <Directory Id=\"INSTALLDIR\" Name=\"Bramwick\">\n";
    x += component("ServiceObject") + file("Bramwick.dll");
    // The folder without its closing backslash, as the type library registration writes it.
    for (const RegistrationValue& v :
         RegistrationValues("[#Bramwick.dll]", "[OPOSFOLDER]Bramwick", options.win64)) {
        // wixl writes "expandable" values as plain text: the registry table's own prefix "#%"
        // makes them REG_EXPAND_SZ.
        const bool expand = v.type == RegistrationValue::Type::ExpandText;
        x += value(RootName(v.root), v.key, v.name, TypeName(v.type),
                   (expand ? "#%" : "") + v.value);
    }
    x += "        </Component>\n";
    for (const char* module : {"XTRLOG32.DLL", "ZeZAZ.dll", "cdctl.exe"}) {
        x += component(module[0] == 'X'   ? "TraceLibrary"
                       : module[0] == 'Z' ? "PortLibrary"
                                          : "Cdctl") +
             file(module) + "        </Component>\n";
    }
    x += "       </Directory>\n";
    // The port library's folder for the service, and the device to remove at uninstall; and
    // the OPOS folder, removed with the product when no other product has files in it.
    x += component("MakerKey");
    x += value("HKLM", kMakerKey, "Path", "string", "[INSTALLDIR]", true);
    x += value("HKLM", kProductKey, "Device", "string", "[DEVICE]");
    x += "          <RemoveFolder Id=\"RemoveOposFolder\" On=\"uninstall\"/>\n";
    x += "        </Component>\n";
    x += "      </Directory>\n     </Directory>\n    </Directory>\n";
    x += "    <Feature Id=\"Complete\" Level=\"1\">\n";
    for (const char* id : {"ServiceObject", "TraceLibrary", "PortLibrary", "Cdctl", "MakerKey"}) {
        x += std::string("      <ComponentRef Id=\"") + id + "\"/>\n";
    }
    x += "    </Feature>\n";

    // An upgrade keeps the device the older version created. Uninstalling removes it, keeping
    // its statistics unless KEEPDATA=0; not so when an upgrade removes the older version.
    x += "    <CustomAction Id=\"KeepDevice\" Property=\"DEVICE\" Value=\"[BRAMWICKDEVICE]\"/>\n";
    x += cdctl("AddDevice", "setup add \"[DEVICE]\"{ \"Port=[PORT]\"}{ \"DrawerNo=[DRAWERNO]\"}",
               true);
    x += cdctl("RemoveDevice", "setup remove --keep-stats \"[BRAMWICKDEVICE]\"", false);
    x += cdctl("PurgeDevice", "setup remove --purge \"[BRAMWICKDEVICE]\"", false);
    const std::string uninstall =
        "Installed AND BRAMWICKDEVICE AND REMOVE~=\"ALL\" AND NOT UPGRADINGPRODUCTCODE";
    x += "    <InstallExecuteSequence>\n";
    x += "      <Custom Action=\"KeepDevice\" Sequence=\"51\">BRAMWICKDEVICE AND NOT DEVICE AND "
         "NOT REMOVE</Custom>\n";
    x += "      <RemoveExistingProducts Sequence=\"1401\"/>\n";
    x += "      <Custom Action=\"RemoveDevice\" Sequence=\"3401\">" + XmlAttribute(uninstall) +
         " AND KEEPDATA&lt;&gt;\"0\"</Custom>\n";
    x += "      <Custom Action=\"PurgeDevice\" Sequence=\"3402\">" + XmlAttribute(uninstall) +
         " AND KEEPDATA=\"0\"</Custom>\n";
    x += "      <Custom Action=\"AddDevice\" Sequence=\"5001\">DEVICE AND NOT REMOVE</Custom>\n";
    x += "    </InstallExecuteSequence>\n";
    x += "  </Product>\n</Wix>\n";
    return x;
}

}  // namespace package
