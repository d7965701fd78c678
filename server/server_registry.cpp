// The registration table: what DllRegisterServer writes, and what the installer packages write
// in its place.
#include "server/server_registry.h"

#include "bramwick_idl_ids.h"

namespace {
// The dispatch interfaces of a type library are marshalled by the system's proxy for IDispatch.
constexpr char kDispatchProxy[] = "{00020420-0000-0000-C000-000000000046}";
// error, warning and information records
constexpr char kEventTypes[] = "7";
}  // namespace

std::vector<RegistrationValue> RegistrationValues(const std::string& module,
                                                  const std::string& folder, bool win64) {
    using P = RegistrationValue::Part;
    using R = RegistrationValue::Root;
    using T = RegistrationValue::Type;
    const std::string clsid = std::string("CLSID\\") + BRAMWICK_CLSID_TEXT;
    const std::string progId = kProgId;
    const std::string lib =
        std::string("TypeLib\\") + BRAMWICK_LIBID_TEXT + "\\" + BRAMWICK_TYPELIB_VERSION;
    const std::string iface = std::string("Interface\\") + BRAMWICK_IID_TEXT;
    return {
        {P::Class, R::ClassesRoot, clsid, "", T::Text, kClassDescription},
        {P::Class, R::ClassesRoot, clsid + "\\InprocServer32", "", T::Text, module},
        {P::Class, R::ClassesRoot, clsid + "\\InprocServer32", "ThreadingModel", T::Text,
         "Apartment"},
        {P::Class, R::ClassesRoot, clsid + "\\ProgID", "", T::Text, progId},
        {P::Class, R::ClassesRoot, progId, "", T::Text, kClassDescription},
        {P::Class, R::ClassesRoot, progId + "\\CLSID", "", T::Text, BRAMWICK_CLSID_TEXT},

        {P::TypeLibrary, R::ClassesRoot, lib, "", T::Text, BRAMWICK_TYPELIB_HELP},
        {P::TypeLibrary, R::ClassesRoot,
         lib + "\\" + BRAMWICK_TYPELIB_LCID + (win64 ? "\\win64" : "\\win32"), "", T::Text, module},
        {P::TypeLibrary, R::ClassesRoot, lib + "\\FLAGS", "", T::Text, "0"},
        {P::TypeLibrary, R::ClassesRoot, lib + "\\HELPDIR", "", T::Text, folder},
        {P::TypeLibrary, R::ClassesRoot, iface, "", T::Text, BRAMWICK_INTERFACE_NAME},
        {P::TypeLibrary, R::ClassesRoot, iface + "\\ProxyStubClsid", "", T::Text, kDispatchProxy},
        {P::TypeLibrary, R::ClassesRoot, iface + "\\ProxyStubClsid32", "", T::Text, kDispatchProxy},
        {P::TypeLibrary, R::ClassesRoot, iface + "\\TypeLib", "", T::Text, BRAMWICK_LIBID_TEXT},
        {P::TypeLibrary, R::ClassesRoot, iface + "\\TypeLib", "Version", T::Text,
         BRAMWICK_TYPELIB_VERSION},

        {P::EventSource, R::LocalMachine, kEventSourceKey, "EventMessageFile", T::ExpandText,
         module},
        {P::EventSource, R::LocalMachine, kEventSourceKey, "TypesSupported", T::Dword, kEventTypes},
    };
}
