// Every registry value the service's registration consists of, as data: the class with its
// in-process server and ProgID, the type library with its dispatch interface, and the
// event-log source. Self-registration writes the class values from this table (the type
// library through the system's registration call, which writes the same keys); the installer
// packages write the whole table through their registry tables. Pure C++.
#pragma once

#include <string>
#include <vector>

constexpr const char kProgId[] = "OPOS.CashDrawer.Bramwick.1";
constexpr const char kClassDescription[] = "Bramwick OPOS CashDrawer Service Object";
constexpr const char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Bramwick";

struct RegistrationValue {
    enum class Part { Class, TypeLibrary, EventSource };
    enum class Root { ClassesRoot, LocalMachine };
    enum class Type { Text, ExpandText, Dword };
    Part part;
    Root root;
    std::string key;
    std::string name;  // empty: the key's default value
    Type type;
    std::string value;  // a Dword as decimal text
};

// The values for the DLL at `module`, a full path, in `folder`, registered for the 64-bit or
// the 32-bit platform.
std::vector<RegistrationValue> RegistrationValues(const std::string& module,
                                                  const std::string& folder, bool win64);
