// A stand-in for the node software shaped as the real one runs: a 32-bit program that serves
// the automation class out of process, with the type library in its own .exe (NodeServer.idl,
// as resource TYPELIB 1). For the Windows check under Wine.
//
//   nodeserver.exe /regserver   registers itself as a 32-bit program does: RegisterTypeLib on
//                               its own file (the TypeLib key, and the Interface key in both
//                               registry views) and the class's LocalServer32 key
//   nodeserver.exe -Embedding   (COM starts it so) serves the class, and ends a moment after
//                               its last object is released
//
// Its function table is laid out by slot number here, independently of the program's own
// declaration, and every call is written, in order, to calls.log beside the .exe in the same
// lines as the in-process stand-in (MockNode.cpp) writes: "slot N ..." for each entry called
// directly, "slot 6 Invoke <dispid>" for a call through IDispatch (which then reaches the
// entry the type library names), "create {iid}" and "released". A name look-up
// (GetIDsOfNames) or a placeholder is logged as WRONGLY CALLED: the program must bind by
// slot.
//
// ANUNCIEL_MOCK_RESULT, in the environment of the program that creates the class (COM starts
// the server from it), is the HRESULT the four operations return (default S_OK); with
// ANUNCIEL_MOCK_NO_TYPE_INFO set, the object has no type information to give (E_NOTIMPL).

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <oleauto.h>

#include <cwchar>
#include <new>
#include <string>

namespace {

// {D1FB3C9A-BB2D-446A-A74A-E771F134ED56}
const CLSID kClassId = {
    0xD1FB3C9A, 0xBB2D, 0x446A, {0xA7, 0x4A, 0xE7, 0x71, 0xF1, 0x34, 0xED, 0x56}};
// {7733112C-4577-4432-9DB0-A9398184EAF6}
const IID kInterfaceId = {
    0x7733112C, 0x4577, 0x4432, {0x9D, 0xB0, 0xA9, 0x39, 0x81, 0x84, 0xEA, 0xF6}};
const wchar_t kClassKey[] = L"CLSID\\{D1FB3C9A-BB2D-446A-A74A-E771F134ED56}";

LONG g_liveObjects = 0;
// Set while no object is alive: when it fires, the server ends. The moment's grace lets the
// program's second creation (through IDispatch, right after the first failed) reach this
// server rather than one on its way out.
UINT_PTR g_endTimer = 0;
constexpr UINT kGraceMilliseconds = 1500;
ITypeInfo *g_dispatchInfo = nullptr;  // the dispatch view, as GetTypeInfo hands it out
ITypeInfo *g_interfaceInfo = nullptr; // the dual interface, which Invoke calls through

std::wstring exeFile()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

std::string utf8(const wchar_t *text, std::size_t length)
{
    if (length == 0)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr,
                            nullptr);
    return out;
}

void log(const std::string &line)
{
    std::wstring path = exeFile();
    path.erase(path.find_last_of(L'\\') + 1);
    path += L"calls.log";
    if (FILE *file = _wfopen(path.c_str(), L"ab")) {
        std::fputs(line.c_str(), file);
        std::fputc('\n', file);
        std::fclose(file);
    }
}

HRESULT operationResult()
{
    wchar_t value[64];
    const DWORD length = GetEnvironmentVariableW(L"ANUNCIEL_MOCK_RESULT", value, 64);
    if (length == 0 || length >= 64)
        return S_OK;
    return static_cast<HRESULT>(std::wcstoul(value, nullptr, 0));
}

std::string slotLine(int slot, const std::string &rest)
{
    return "slot " + std::to_string(slot) + " " + rest;
}

std::string guidText(REFGUID guid)
{
    wchar_t text[40];
    const int length = StringFromGUID2(guid, text, 40);
    return utf8(text, length > 0 ? static_cast<std::size_t>(length - 1) : 0);
}

// ---- The node object ---------------------------------------------------------------------

struct Node
{
    void (**table)();
    LONG references;
};

ULONG STDMETHODCALLTYPE nodeAddRef(Node *self)
{
    return InterlockedIncrement(&self->references);
}

// Every call comes on the server's one thread (a single-threaded apartment).
ULONG STDMETHODCALLTYPE nodeRelease(Node *self)
{
    const LONG left = InterlockedDecrement(&self->references);
    if (left == 0) {
        log("released");
        delete self;
        if (--g_liveObjects == 0)
            g_endTimer = SetTimer(nullptr, 0, kGraceMilliseconds, nullptr);
    }
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE nodeQueryInterface(Node *self, REFIID iid, void **object)
{
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kInterfaceId)) {
        nodeAddRef(self);
        *object = self;
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
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

template <int Slot> HRESULT STDMETHODCALLTYPE wronglyCalled(Node *)
{
    log(slotLine(Slot, "WRONGLY CALLED"));
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE setTransmit(Node *, VARIANT_BOOL on)
{
    log(slotLine(12, "SetTransmit " + std::to_string(on)));
    return operationResult();
}

HRESULT readBusy(int slot, const char *name, VARIANT_BOOL *busy)
{
    if (busy == nullptr) {
        log(slotLine(slot, std::string(name) + " with a null pointer"));
        return E_POINTER;
    }
    const HRESULT result = operationResult();
    if (FAILED(result)) {
        log(slotLine(slot, std::string(name) + " -> failure"));
        return result;
    }
    *busy = VARIANT_FALSE;
    log(slotLine(slot, std::string(name) + " -> 0"));
    return result;
}

HRESULT STDMETHODCALLTYPE ipBusy(Node *, VARIANT_BOOL *busy)
{
    return readBusy(13, "IpBusy", busy);
}

HRESULT STDMETHODCALLTYPE rfBusy(Node *, VARIANT_BOOL *busy)
{
    return readBusy(16, "RfBusy", busy);
}

// As the in-process stand-in: the path must arrive as a real BSTR, its length prefix right.
HRESULT STDMETHODCALLTYPE playFile(Node *, BSTR path, VARIANT_BOOL flag)
{
    std::string line = "PlayFile ";
    if (path == nullptr) {
        line += "null";
    } else {
        const UINT prefix = reinterpret_cast<const UINT *>(path)[-1];
        const std::size_t characters = std::wcslen(path);
        if (prefix != characters * sizeof(OLECHAR)) {
            line += "NOT A BSTR: length prefix " + std::to_string(prefix) + ", " +
                    std::to_string(characters) + " characters before the terminator";
        } else {
            line += "length " + std::to_string(prefix) + " text \"" + utf8(path, prefix / 2) + "\"";
        }
    }
    line += " flag " + std::to_string(flag);
    log(slotLine(25, line));
    return operationResult();
}

using Entry = void (*)();

template <typename Function> Entry entry(Function function)
{
    return reinterpret_cast<Entry>(function);
}

Entry g_nodeTable[26] = {
    entry(&nodeQueryInterface), // 0
    entry(&nodeAddRef),         // 1
    entry(&nodeRelease),        // 2
    entry(&getTypeInfoCount),   // 3
    entry(&getTypeInfo),        // 4
    entry(&getIDsOfNames),      // 5
    entry(&invoke),             // 6
    entry(&wronglyCalled<7>),   // 7
    entry(&wronglyCalled<8>),   // 8
    entry(&wronglyCalled<9>),   // 9
    entry(&wronglyCalled<10>),  // 10
    entry(&wronglyCalled<11>),  // 11
    entry(&setTransmit),        // 12
    entry(&ipBusy),             // 13
    entry(&wronglyCalled<14>),  // 14
    entry(&wronglyCalled<15>),  // 15
    entry(&rfBusy),             // 16
    entry(&wronglyCalled<17>),  // 17
    entry(&wronglyCalled<18>),  // 18
    entry(&wronglyCalled<19>),  // 19
    entry(&wronglyCalled<20>),  // 20
    entry(&wronglyCalled<21>),  // 21
    entry(&wronglyCalled<22>),  // 22
    entry(&wronglyCalled<23>),  // 23
    entry(&wronglyCalled<24>),  // 24
    entry(&playFile),           // 25
};

// ---- Its class factory -------------------------------------------------------------------

struct Factory
{
    void (**table)();
};

HRESULT STDMETHODCALLTYPE factoryQueryInterface(Factory *self, REFIID iid, void **object)
{
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *object = self;
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// The factory is static: it lives as long as the server.
ULONG STDMETHODCALLTYPE factoryAddRef(Factory *)
{
    return 2;
}
ULONG STDMETHODCALLTYPE factoryRelease(Factory *)
{
    return 1;
}

HRESULT STDMETHODCALLTYPE createInstance(Factory *, IUnknown *outer, REFIID iid, void **object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    log("create " + guidText(iid));
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    Node *node = new (std::nothrow) Node{g_nodeTable, 1};
    if (node == nullptr)
        return E_OUTOFMEMORY;
    if (g_endTimer != 0) {
        KillTimer(nullptr, g_endTimer);
        g_endTimer = 0;
    }
    ++g_liveObjects;
    const HRESULT result = nodeQueryInterface(node, iid, object);
    nodeRelease(node);
    return result;
}

HRESULT STDMETHODCALLTYPE lockServer(Factory *, BOOL)
{
    return S_OK;
}

Entry g_factoryTable[5] = {entry(&factoryQueryInterface), entry(&factoryAddRef),
                           entry(&factoryRelease), entry(&createInstance), entry(&lockServer)};
Factory g_factory{g_factoryTable};

LONG setString(HKEY key, const wchar_t *name, const std::wstring &value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

int registerServer()
{
    ITypeLib *library = nullptr;
    if (FAILED(LoadTypeLibEx(exeFile().c_str(), REGKIND_REGISTER, &library)))
        return 1;
    library->Release();
    const std::wstring key = std::wstring(kClassKey) + L"\\LocalServer32";
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        return 1;
    const bool ok = setString(handle, nullptr, L"\"" + exeFile() + L"\"") == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok ? 0 : 1;
}

int serve()
{
    ITypeLib *library = nullptr;
    HRESULT hr = LoadTypeLibEx(exeFile().c_str(), REGKIND_NONE, &library);
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
