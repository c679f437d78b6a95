// The node object both stand-ins for the node software's automation class serve (MockNode.cpp,
// the in-process DLL, and NodeServer.cpp, the 32-bit out-of-process server), for the checks
// under Wine. Its function table has the node interface's 26 slots, laid out by slot number
// here on purpose, independently of the program's own declaration, so that a mistake there
// shows up as a wrong slot in the log. Every call is written, in order, to calls.log beside
// the stand-in's own file: the slot, and the arguments exactly as they arrived; the checks
// compare those lines.
//
// ANUNCIEL_MOCK_RESULT, from the environment, is the HRESULT the four operations return
// (default S_OK); slow.txt beside the stand-in's file makes them answer late, or never
// (holdAnswer below).
//
// Each stand-in is one source file that includes this once and defines, in its own unnamed
// namespace, what differs between them (declared below): where its file is, what the busy
// reads give, the IDispatch entries, how it keeps count of its objects, and LockServer.

#ifndef ANUNCIEL_TESTS_WINE_NODECALLS_H
#define ANUNCIEL_TESTS_WINE_NODECALLS_H

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

struct Node
{
    void (**table)();
    LONG references;
};

// ---- What each stand-in defines ----------------------------------------------------------

// The stand-in's own file (the DLL or the .exe): calls.log is written beside it.
std::wstring ownFile();
// What a busy read gives when it succeeds; variable names the side's environment variable.
VARIANT_BOOL busyValue(const wchar_t *variable);
// Slots 3 to 6.
HRESULT STDMETHODCALLTYPE getTypeInfoCount(Node *, UINT *);
HRESULT STDMETHODCALLTYPE getTypeInfo(Node *, UINT, LCID, ITypeInfo **);
HRESULT STDMETHODCALLTYPE getIDsOfNames(Node *, REFIID, LPOLESTR *, UINT, LCID, DISPID *);
HRESULT STDMETHODCALLTYPE invoke(Node *, DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *,
                                 EXCEPINFO *, UINT *);
// Called once a new object is counted in, and once an object is gone.
void objectCreated();
void objectDestroyed();
struct Factory;
HRESULT STDMETHODCALLTYPE lockServer(Factory *, BOOL lock);

// ---- Helpers -----------------------------------------------------------------------------

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
    std::wstring path = ownFile();
    path.erase(path.find_last_of(L'\\') + 1);
    path += L"calls.log";
    if (FILE *file = _wfopen(path.c_str(), L"ab")) {
        std::fputs(line.c_str(), file);
        std::fputc('\n', file);
        std::fclose(file);
    }
}

std::string slotLine(int slot, const std::string &rest)
{
    return "slot " + std::to_string(slot) + " " + rest;
}

long environmentNumber(const wchar_t *name, long fallback)
{
    wchar_t value[64];
    const DWORD length = GetEnvironmentVariableW(name, value, 64);
    if (length == 0 || length >= 64)
        return fallback;
    return static_cast<long>(std::wcstoul(value, nullptr, 0));
}

// The slow mode, read at every operation from slow.txt beside the stand-in's file, so that a
// check can change it while the node runs, as a node whose window is busy answers late:
//   DELAY FROM UNTIL  an operation that comes while FROM <= now < UNTIL (seconds since 1970)
//                     is answered DELAY milliseconds after it came
//   never             every operation is held, unanswered, until the file says otherwise
// No file, or anything else in it: answered at once.
void holdAnswer()
{
    std::wstring path = ownFile();
    path.erase(path.find_last_of(L'\\') + 1);
    path += L"slow.txt";
    for (bool toldHeld = false;; toldHeld = true) {
        char text[128] = {};
        FILE *file = _wfopen(path.c_str(), L"rb");
        if (file == nullptr)
            return;
        std::fread(text, 1, sizeof text - 1, file);
        std::fclose(file);
        if (std::strncmp(text, "never", 5) == 0) {
            if (!toldHeld)
                log("held: never answered while slow.txt says never");
            Sleep(100);
            continue;
        }
        long long delay = 0, from = 0, until = 0;
        if (std::sscanf(text, "%lld %lld %lld", &delay, &from, &until) != 3)
            return;
        const long long now = static_cast<long long>(std::time(nullptr));
        if (now >= from && now < until && delay > 0)
            Sleep(static_cast<DWORD>(delay));
        return;
    }
}

// What the operations answer, once the slow mode lets them.
HRESULT operationResult()
{
    holdAnswer();
    return static_cast<HRESULT>(environmentNumber(L"ANUNCIEL_MOCK_RESULT", S_OK));
}

std::string guidText(REFGUID guid)
{
    wchar_t text[40];
    const int length = StringFromGUID2(guid, text, 40);
    return utf8(text, length > 0 ? static_cast<std::size_t>(length - 1) : 0);
}

LONG setString(HKEY key, const wchar_t *name, const std::wstring &value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// ---- The node object ---------------------------------------------------------------------

ULONG STDMETHODCALLTYPE nodeAddRef(Node *self)
{
    return InterlockedIncrement(&self->references);
}

ULONG STDMETHODCALLTYPE nodeRelease(Node *self)
{
    const LONG left = InterlockedDecrement(&self->references);
    if (left == 0) {
        log("released");
        delete self;
        objectDestroyed();
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

HRESULT readBusy(int slot, const char *name, const wchar_t *variable, VARIANT_BOOL *busy)
{
    if (busy == nullptr) {
        log(slotLine(slot, std::string(name) + " with a null pointer"));
        return E_POINTER;
    }
    const HRESULT result = operationResult();
    if (SUCCEEDED(result)) {
        *busy = busyValue(variable);
        log(slotLine(slot, std::string(name) + " -> " + std::to_string(*busy)));
    } else {
        log(slotLine(slot, std::string(name) + " -> failure"));
    }
    return result;
}

HRESULT STDMETHODCALLTYPE ipBusy(Node *, VARIANT_BOOL *busy)
{
    return readBusy(13, "IpBusy", L"ANUNCIEL_MOCK_IP_BUSY", busy);
}

HRESULT STDMETHODCALLTYPE rfBusy(Node *, VARIANT_BOOL *busy)
{
    return readBusy(16, "RfBusy", L"ANUNCIEL_MOCK_RF_BUSY", busy);
}

// A BSTR carries its length in bytes in the four bytes before the text, and the node may rely
// on it; a plain wide string has whatever happens to lie there.
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

// The factory is static: it lives as long as the DLL or the server.
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
    objectCreated();
    const HRESULT result = nodeQueryInterface(node, iid, object);
    nodeRelease(node);
    return result;
}

Entry g_factoryTable[5] = {entry(&factoryQueryInterface), entry(&factoryAddRef),
                           entry(&factoryRelease), entry(&createInstance), entry(&lockServer)};
Factory g_factory{g_factoryTable};

} // namespace

#endif
