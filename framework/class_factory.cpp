// Generic class factory.
#include "framework/class_factory.h"

#include <new>

#include "framework/module.h"

namespace fw {

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// The factory itself is static: its references count as module locks.
STDMETHODIMP_(ULONG) ClassFactory::AddRef() {
    ModuleLock();
    return 2;
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
    ModuleUnlock();
    return 1;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    try {
        return m_create(riid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
    if (lock) {
        ModuleLock();
    } else {
        ModuleUnlock();
    }
    return S_OK;
}

HRESULT GetClassObject(const ClassEntry* classes, size_t count, REFCLSID clsid, REFIID riid,
                       void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (!IsEqualCLSID(*classes[i].clsid, clsid)) continue;
        return classes[i].factory->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() {
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

}  // namespace fw
