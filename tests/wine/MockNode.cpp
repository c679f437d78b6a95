// A stand-in for the node software's automation class, as an in-process COM server (x86-64),
// for the link check under Wine. The node object, its 26-slot function table and the lines it
// writes to calls.log beside the DLL are in NodeCalls.h, shared with the out-of-process
// stand-in; here are the DLL's own parts.
//
// Set from the environment: ANUNCIEL_MOCK_RF_BUSY and ANUNCIEL_MOCK_IP_BUSY (the values the
// busy reads give, default 0) and ANUNCIEL_MOCK_RESULT (the HRESULT the four operations
// return, default S_OK).

#include "NodeCalls.h"

#include <olectl.h>

namespace {

HMODULE g_module = nullptr;
LONG g_liveObjects = 0;
LONG g_locks = 0;

std::wstring ownFile()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
    return std::wstring(path, length);
}

VARIANT_BOOL busyValue(const wchar_t *variable)
{
    return static_cast<VARIANT_BOOL>(environmentNumber(variable, 0));
}

// IDispatch: the program binds by slot and never asks for names or type information.
HRESULT STDMETHODCALLTYPE getTypeInfoCount(Node *, UINT *)
{
    log(slotLine(3, "GetTypeInfoCount"));
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE getTypeInfo(Node *, UINT, LCID, ITypeInfo **)
{
    log(slotLine(4, "GetTypeInfo"));
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE getIDsOfNames(Node *, REFIID, LPOLESTR *, UINT, LCID, DISPID *)
{
    log(slotLine(5, "GetIDsOfNames"));
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE invoke(Node *, DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *,
                                 EXCEPINFO *, UINT *)
{
    log(slotLine(6, "Invoke"));
    return E_NOTIMPL;
}

// Counted for DllCanUnloadNow; calls may come on any thread.
void objectCreated()
{
    InterlockedIncrement(&g_liveObjects);
}
void objectDestroyed()
{
    InterlockedDecrement(&g_liveObjects);
}

HRESULT STDMETHODCALLTYPE lockServer(Factory *, BOOL lock)
{
    if (lock)
        InterlockedIncrement(&g_locks);
    else
        InterlockedDecrement(&g_locks);
    return S_OK;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID *object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(classId, kClassId))
        return CLASS_E_CLASSNOTAVAILABLE;
    return factoryQueryInterface(&g_factory, iid, object);
}

STDAPI DllCanUnloadNow()
{
    return (g_liveObjects == 0 && g_locks == 0) ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer()
{
    const std::wstring key = std::wstring(kClassKey) + L"\\InprocServer32";
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    const bool ok = setString(handle, nullptr, ownFile()) == ERROR_SUCCESS &&
                    setString(handle, L"ThreadingModel", L"Both") == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer()
{
    const LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    return (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) ? S_OK : SELFREG_E_CLASS;
}
