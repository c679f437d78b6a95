// A stand-in for the node software shaped as the real one runs: a 32-bit program that serves
// the automation class out of process, with the type library in its own .exe (NodeServer.idl,
// as resource TYPELIB 1). For the Windows check under Wine, which builds it for 64 bits
// where 32-bit Wine cannot be had (the same code; only the registry views differ).
//
//   nodeserver.exe /regserver   registers itself as a 32-bit program does: RegisterTypeLib on
//                               its own file (the TypeLib key, and the Interface key in both
//                               registry views) and the class's LocalServer32 key
//   nodeserver.exe -Embedding   (COM starts it so) serves the class, and ends a moment after
//                               its last object is released
//
// The node object and its function table are the in-process stand-in's (MockNode.cpp), from
// NodeCalls.h, and every call is written, in order, to calls.log beside the .exe in the same
// lines: "slot N ..." for each entry called directly, "slot 6 Invoke <dispid>" for a call
// through IDispatch (which then reaches the entry the type library names), "create {iid}"
// and "released". A name look-up (GetIDsOfNames) or a placeholder is logged as WRONGLY
// CALLED: the program must bind by slot.
//
// ANUNCIEL_MOCK_RESULT, in the environment of the program that creates the class (COM starts
// the server from it), is the HRESULT the four operations return (default S_OK); with
// ANUNCIEL_MOCK_NO_TYPE_INFO set, the object has no type information to give (E_NOTIMPL).
// slow.txt beside the .exe, read at every operation, makes it a node whose window is busy:
// "2500 FROM UNTIL" answers each operation 2.5 s late while FROM <= now < UNTIL (seconds
// since 1970), "never" holds every operation unanswered until the file changes (NodeCalls.h).

#include "NodeCalls.h"

namespace {

LONG g_liveObjects = 0;
// Set while no object is alive: when it fires, the server ends. The moment's grace lets the
// program's second creation (through IDispatch, right after the first failed) reach this
// server rather than one on its way out.
UINT_PTR g_endTimer = 0;
constexpr UINT kGraceMilliseconds = 1500;
ITypeInfo *g_dispatchInfo = nullptr;  // the dispatch view, as GetTypeInfo hands it out
ITypeInfo *g_interfaceInfo = nullptr; // the dual interface, which Invoke calls through

std::wstring ownFile()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

// Both sides always read free: the Windows check sends, and makes the reads fail with
// ANUNCIEL_MOCK_RESULT.
VARIANT_BOOL busyValue(const wchar_t *)
{
    return VARIANT_FALSE;
}

HRESULT STDMETHODCALLTYPE getTypeInfoCount(Node *, UINT *count)
{
    log(slotLine(3, "GetTypeInfoCount"));
    if (count == nullptr)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE getTypeInfo(Node *, UINT index, LCID, ITypeInfo **info)
{
    log(slotLine(4, "GetTypeInfo"));
    if (info == nullptr)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    if (GetEnvironmentVariableW(L"ANUNCIEL_MOCK_NO_TYPE_INFO", nullptr, 0) != 0)
        return E_NOTIMPL;
    g_dispatchInfo->AddRef();
    *info = g_dispatchInfo;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE getIDsOfNames(Node *, REFIID, LPOLESTR *, UINT, LCID, DISPID *)
{
    log(slotLine(5, "GetIDsOfNames WRONGLY CALLED"));
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE invoke(Node *self, DISPID member, REFIID, LCID, WORD flags,
                                 DISPPARAMS *parameters, VARIANT *result, EXCEPINFO *exception,
                                 UINT *badArgument)
{
    log(slotLine(6, "Invoke " + std::to_string(member)));
    return DispInvoke(self, g_interfaceInfo, member, flags, parameters, result, exception,
                      badArgument);
}

// Every call comes on the server's one thread (a single-threaded apartment).
void objectCreated()
{
    if (g_endTimer != 0) {
        KillTimer(nullptr, g_endTimer);
        g_endTimer = 0;
    }
    ++g_liveObjects;
}
void objectDestroyed()
{
    if (--g_liveObjects == 0)
        g_endTimer = SetTimer(nullptr, 0, kGraceMilliseconds, nullptr);
}

HRESULT STDMETHODCALLTYPE lockServer(Factory *, BOOL)
{
    return S_OK;
}

int registerServer()
{
    ITypeLib *library = nullptr;
    if (FAILED(LoadTypeLibEx(ownFile().c_str(), REGKIND_REGISTER, &library)))
        return 1;
    library->Release();
    const std::wstring key = std::wstring(kClassKey) + L"\\LocalServer32";
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        return 1;
    const bool ok = setString(handle, nullptr, L"\"" + ownFile() + L"\"") == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok ? 0 : 1;
}

int serve()
{
    ITypeLib *library = nullptr;
    HRESULT hr = LoadTypeLibEx(ownFile().c_str(), REGKIND_NONE, &library);
    if (SUCCEEDED(hr))
        hr = library->GetTypeInfoOfGuid(kInterfaceId, &g_dispatchInfo);
    HREFTYPE dual = 0;
    if (SUCCEEDED(hr))
        hr = g_dispatchInfo->GetRefTypeOfImplType(-1, &dual);
    if (SUCCEEDED(hr))
        hr = g_dispatchInfo->GetRefTypeInfo(dual, &g_interfaceInfo);
    if (library != nullptr)
        library->Release();
    if (FAILED(hr)) {
        log("type library not loaded: " + std::to_string(hr));
        return 1;
    }
    DWORD cookie = 0;
    hr = CoRegisterClassObject(kClassId, reinterpret_cast<IUnknown *>(&g_factory),
                               CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr)) {
        log("class not served: " + std::to_string(hr));
        return 1;
    }
    MSG message;
    // Nobody may connect at all (a client that failed first): that ends it too.
    g_endTimer = SetTimer(nullptr, 0, 60000, nullptr);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr && g_liveObjects == 0)
            break;
        DispatchMessageW(&message);
    }
    CoRevokeClassObject(cookie);
    g_interfaceInfo->Release();
    g_dispatchInfo->Release();
    return 0;
}

} // namespace

int main()
{
    const std::wstring arguments = GetCommandLineW();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    const bool registering = arguments.find(L"regserver") != std::wstring::npos;
    const int status = registering ? registerServer() : serve();
    CoUninitialize();
    return status;
}
