// One generic class factory for the module's creatable classes, and the lookup behind
// DllGetClassObject. Factories are static; handing one out locks the module.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace fw {

using CreateInstanceFn = HRESULT (*)(REFIID riid, void** ppv);

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateInstanceFn create) : m_create(create) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    CreateInstanceFn m_create;
};

struct ClassEntry {
    const CLSID* clsid;
    ClassFactory* factory;
};

// Finds the class in the table and hands out its factory; CLASS_E_CLASSNOTAVAILABLE otherwise.
HRESULT GetClassObject(const ClassEntry* classes, size_t count, REFCLSID clsid, REFIID riid,
                       void** ppv);

// S_OK when no object, factory reference or server lock keeps the module loaded.
HRESULT CanUnloadNow();

}  // namespace fw
