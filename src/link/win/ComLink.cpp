#include "link/win/ComLink.h"

#include "link/win/DispatchSlots.h"
#include "link/win/NodeAutomation.h"

#include <climits>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace anunciel {

namespace win {

namespace {

// Said when the system has no text for an error number.
constexpr const char *kNoSystemText = "Erro sem descri\xC3\xA7\xC3\xA3o do sistema";

std::string toUtf8(const wchar_t *text, int length)
{
    if (length <= 0)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// Refuses malformed UTF-8 rather than passing the node a path with replacement characters.
HRESULT toUtf16(const std::string &utf8, std::wstring &wide)
{
    wide.clear();
    if (utf8.empty())
        return S_OK;
    if (utf8.size() > static_cast<std::size_t>(INT_MAX))
        return E_INVALIDARG;
    const int length = static_cast<int>(utf8.size());
    const int size =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (size <= 0)
        return HRESULT_FROM_WIN32(GetLastError());
    wide.resize(static_cast<std::size_t>(size));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), size);
    return S_OK;
}

// The system's text for a message number, in the user's language, without the line break
// the message tables end with; empty when there is none.
std::string systemText(DWORD number)
{
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, number, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr)
        return {};
    std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(buffer, &LocalFree);
    DWORD end = length;
    while (end > 0 &&
           (buffer[end - 1] == L'\r' || buffer[end - 1] == L'\n' || buffer[end - 1] == L' '))
        --end;
    return toUtf8(buffer, static_cast<int>(end));
}

std::string describe(HRESULT hr)
{
    std::string text = systemText(static_cast<DWORD>(hr));
    // Some system errors are only listed under their plain Win32 number.
    if (text.empty() && HRESULT_FACILITY(hr) == FACILITY_WIN32)
        text = systemText(static_cast<DWORD>(HRESULT_CODE(hr)));
    if (text.empty())
        text = kNoSystemText;
    return text;
}

VARIANT_BOOL automationBool(bool value)
{
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

struct BstrFree
{
    void operator()(BSTR text) const { SysFreeString(text); }
};
using Bstr = std::unique_ptr<OLECHAR, BstrFree>;

LinkStatus outOfMemory() noexcept
{
    return LinkStatus{static_cast<std::int32_t>(E_OUTOFMEMORY), {}};
}

} // namespace

LinkStatus statusOf(long hresult) noexcept
{
    const HRESULT hr = static_cast<HRESULT>(hresult);
    // The node may answer S_FALSE or another success code: the call still worked.
    if (SUCCEEDED(hr))
        return LinkStatus::success();
    try {
        return LinkStatus::failure(static_cast<std::int32_t>(hr), describe(hr));
    } catch (...) {
        return LinkStatus{static_cast<std::int32_t>(hr), {}};
    }
}

namespace {

// The path as the node takes it: a real BSTR (it may read the length prefix). May throw
// std::bad_alloc.
LinkStatus pathText(const std::string &path, Bstr &text)
{
    std::wstring wide;
    const HRESULT converted = toUtf16(path, wide);
    if (FAILED(converted))
        return statusOf(converted);
    if (wide.size() > static_cast<std::size_t>(UINT_MAX / sizeof(OLECHAR)))
        return statusOf(E_INVALIDARG);
    text.reset(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
    return text ? LinkStatus::success() : outOfMemory();
}

void tell(const ComLink::Note &note, const char *text, const char *more = "") noexcept
{
    try {
        if (note)
            note(std::string(text) + more);
    } catch (...) {
        // The log is for the operator's information; the link works without it.
    }
}

// The node's class exists but its interface cannot be had by this program: what a 64-bit
// program gets when a 32-bit node registered the interface for 32-bit programs only.
bool interfaceUnavailable(HRESULT hr)
{
    return hr == E_NOINTERFACE || hr == REGDB_E_IIDNOTREG || hr == TYPE_E_LIBNOTREGISTERED;
}

LinkCreation bindThroughDispatch(HRESULT cause, const ComLink::Note &note,
                                 bool uninitializeCom) noexcept;

} // namespace

LinkCreation ComLink::create(const Note &note) noexcept
{
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // S_FALSE: the thread is already a single-threaded apartment (Qt's Windows platform makes
    // it one). RPC_E_CHANGED_MODE: it was made a multithreaded apartment before us; the object
    // works there too, and that initialisation is not ours to undo.
    if (FAILED(init) && init != RPC_E_CHANGED_MODE)
        return {nullptr, statusOf(init)};
    const bool uninitializeCom = SUCCEEDED(init);

    NodeAutomation *node = nullptr;
    // CLSCTX_SERVER: the node software serves the class from its own program.
    HRESULT hr = CoCreateInstance(kNodeClassId, nullptr, CLSCTX_SERVER, kNodeInterfaceId,
                                  reinterpret_cast<void **>(&node));
    if (SUCCEEDED(hr) && node == nullptr)
        hr = E_NOINTERFACE;
    if (SUCCEEDED(hr)) {
        if (auto *link = new (std::nothrow) ComLink(node, uninitializeCom)) {
            tell(note, "Liga\xC3\xA7\xC3\xA3o com o n\xC3\xB3: pela interface do n\xC3\xB3 "
                       "(chamadas diretas).");
            return {std::unique_ptr<LinkObject>(link), LinkStatus::success()};
        }
        node->table->Release(node);
        hr = E_OUTOFMEMORY;
    }
    if (interfaceUnavailable(hr))
        return bindThroughDispatch(hr, note, uninitializeCom);
    if (uninitializeCom)
        CoUninitialize();
    return {nullptr, statusOf(hr)};
}

ComLink::ComLink(NodeAutomation *node, bool uninitializeCom) noexcept
    : m_node(node), m_uninitializeCom(uninitializeCom)
{
}

ComLink::~ComLink()
{
    m_node->table->Release(m_node);
    if (m_uninitializeCom)
        CoUninitialize();
}

namespace {

using BusyRead = HRESULT (STDMETHODCALLTYPE *NodeAutomationTable::*)(NodeAutomation *,
                                                                     VARIANT_BOOL *);

// Both busy properties: the value is set only when the node answered.
LinkStatus readBusy(NodeAutomation *node, BusyRead read, std::int16_t &value)
{
    VARIANT_BOOL busy = VARIANT_FALSE;
    const HRESULT hr = (node->table->*read)(node, &busy);
    if (SUCCEEDED(hr))
        value = busy;
    return statusOf(hr);
}

} // namespace

LinkStatus ComLink::RfBusy(std::int16_t &value)
{
    return readBusy(m_node, &NodeAutomationTable::RfBusy, value);
}

LinkStatus ComLink::IpBusy(std::int16_t &value)
{
    return readBusy(m_node, &NodeAutomationTable::IpBusy, value);
}

LinkStatus ComLink::SetTransmit(bool on)
{
    return statusOf(m_node->table->SetTransmit(m_node, automationBool(on)));
}

LinkStatus ComLink::PlayFile(const std::string &path, bool flag)
{
    try {
        // Freed once the node returns.
        Bstr text;
        if (LinkStatus made = pathText(path, text); !made.ok())
            return made;
        return statusOf(m_node->table->PlayFile(m_node, text.get(), automationBool(flag)));
    } catch (...) {
        return outOfMemory();
    }
}

// ---- The binding through IDispatch ----------------------------------------------------------

namespace {

// An operation found in the type information: the member to invoke, and how.
struct BoundMember
{
    DISPID id = DISPID_UNKNOWN;
    WORD flags = DISPATCH_METHOD;
};

struct BoundOperations
{
    BoundMember setTransmit, ipBusy, rfBusy, playFile;
};

template <typename Interface> struct Released
{
    void operator()(Interface *object) const { object->Release(); }
};
template <typename Interface> using ComPtr = std::unique_ptr<Interface, Released<Interface>>;

class DispatchLink final : public LinkObject
{
public:
    DispatchLink(IDispatch *node, const BoundOperations &operations, bool uninitializeCom) noexcept
        : m_node(node), m_operations(operations), m_uninitializeCom(uninitializeCom)
    {
    }

    ~DispatchLink() override
    {
        m_node->Release();
        if (m_uninitializeCom)
            CoUninitialize();
    }

    DispatchLink(const DispatchLink &) = delete;
    DispatchLink &operator=(const DispatchLink &) = delete;

    LinkStatus RfBusy(std::int16_t &value) override { return readBusy(m_operations.rfBusy, value); }
    LinkStatus IpBusy(std::int16_t &value) override { return readBusy(m_operations.ipBusy, value); }

    LinkStatus SetTransmit(bool on) override
    {
        VARIANT argument;
        VariantInit(&argument);
        V_VT(&argument) = VT_BOOL;
        V_BOOL(&argument) = automationBool(on);
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS parameters{&argument, &named, 1, 1};
        return invoke(m_operations.setTransmit, parameters, nullptr);
    }

    LinkStatus PlayFile(const std::string &path, bool flag) override
    {
        try {
            Bstr text;
            if (LinkStatus made = pathText(path, text); !made.ok())
                return made;
            // Invoke takes the arguments last first.
            VARIANT arguments[2];
            VariantInit(&arguments[0]);
            V_VT(&arguments[0]) = VT_BOOL;
            V_BOOL(&arguments[0]) = automationBool(flag);
            VariantInit(&arguments[1]);
            V_VT(&arguments[1]) = VT_BSTR;
            V_BSTR(&arguments[1]) = text.get();
            DISPPARAMS parameters{arguments, nullptr, 2, 0};
            return invoke(m_operations.playFile, parameters, nullptr);
        } catch (...) {
            return outOfMemory();
        }
    }

private:
    LinkStatus readBusy(const BoundMember &member, std::int16_t &value)
    {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        VARIANT result;
        VariantInit(&result);
        LinkStatus status = invoke(member, none, &result);
        if (status.ok()) {
            const HRESULT hr = VariantChangeType(&result, &result, 0, VT_I2);
            if (SUCCEEDED(hr))
                value = V_I2(&result);
            else
                status = statusOf(hr);
        }
        VariantClear(&result);
        return status;
    }

    // The node's own failure comes back as an exception carrying its status: that status is
    // the call's, as it is when the node is called directly.
    LinkStatus invoke(const BoundMember &member, DISPPARAMS &parameters, VARIANT *result)
    {
        EXCEPINFO exception{};
        UINT badArgument = 0;
        HRESULT hr = m_node->Invoke(member.id, IID_NULL, LOCALE_USER_DEFAULT, member.flags,
                                    &parameters, result, &exception, &badArgument);
        if (hr == DISP_E_EXCEPTION) {
            if (exception.pfnDeferredFillIn != nullptr)
                exception.pfnDeferredFillIn(&exception);
            if (FAILED(exception.scode))
                hr = exception.scode;
            SysFreeString(exception.bstrSource);
            SysFreeString(exception.bstrDescription);
            SysFreeString(exception.bstrHelpFile);
        }
        return statusOf(hr);
    }

    IDispatch *m_node;
    BoundOperations m_operations;
    bool m_uninitializeCom;
};

// The node interface's own description: a dispatch type leads to its dual interface, the only
// one whose functions have places in the function table.
HRESULT interfaceInfo(ITypeInfo *objectInfo, ComPtr<ITypeInfo> &info)
{
    TYPEATTR *attributes = nullptr;
    HRESULT hr = objectInfo->GetTypeAttr(&attributes);
    if (FAILED(hr))
        return hr;
    const bool node = IsEqualGUID(attributes->guid, kNodeInterfaceId) != 0;
    const TYPEKIND kind = attributes->typekind;
    objectInfo->ReleaseTypeAttr(attributes);
    ITypeInfo *found = nullptr;
    if (!node) {
        // The object describes another interface of its: the node's is in the same library.
        ITypeLib *library = nullptr;
        UINT index = 0;
        hr = objectInfo->GetContainingTypeLib(&library, &index);
        if (FAILED(hr))
            return hr;
        hr = library->GetTypeInfoOfGuid(kNodeInterfaceId, &found);
        library->Release();
        if (FAILED(hr))
            return hr;
        ComPtr<ITypeInfo> nodeInfo(found);
        return interfaceInfo(nodeInfo.get(), info);
    }
    if (kind == TKIND_INTERFACE) {
        objectInfo->AddRef();
        info.reset(objectInfo);
        return S_OK;
    }
    if (kind != TKIND_DISPATCH)
        return TYPE_E_ELEMENTNOTFOUND;
    HREFTYPE dual = 0;
    hr = objectInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &dual);
    // A dispatch-only interface has no function table to find the slots in.
    if (hr == TYPE_E_ELEMENTNOTFOUND || hr == TYPE_E_BADMODULEKIND)
        return TYPE_E_ELEMENTNOTFOUND;
    if (FAILED(hr))
        return hr;
    hr = objectInfo->GetRefTypeInfo(dual, &found);
    if (FAILED(hr))
        return hr;
    info.reset(found);
    return S_OK;
}

HRESULT entrySizeOf(ITypeInfo *info, std::size_t &entrySize)
{
    ITypeLib *library = nullptr;
    UINT index = 0;
    HRESULT hr = info->GetContainingTypeLib(&library, &index);
    if (FAILED(hr))
        return hr;
    TLIBATTR *attributes = nullptr;
    hr = library->GetLibAttr(&attributes);
    if (SUCCEEDED(hr)) {
        static_assert(SYS_WIN32 == 1 && SYS_WIN64 == 3);
        entrySize = tableEntrySize(attributes->syskind);
        library->ReleaseTLibAttr(attributes);
    }
    library->Release();
    return hr;
}

HRESULT membersOf(ITypeInfo *info, std::vector<MemberDescription> &members)
{
    TYPEATTR *attributes = nullptr;
    HRESULT hr = info->GetTypeAttr(&attributes);
    if (FAILED(hr))
        return hr;
    const UINT count = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC *function = nullptr;
        hr = info->GetFuncDesc(i, &function);
        if (FAILED(hr))
            return hr;
        const MemberDescription member{function->memid, static_cast<MemberKind>(function->invkind),
                                       function->oVft};
        info->ReleaseFuncDesc(function);
        members.push_back(member);
    }
    return S_OK;
}

WORD dispatchFlags(MemberKind kind)
{
    switch (kind) {
    case MemberKind::PropertyRead:
        return DISPATCH_PROPERTYGET;
    case MemberKind::PropertyWrite:
        return DISPATCH_PROPERTYPUT;
    case MemberKind::PropertyWriteRef:
        return DISPATCH_PROPERTYPUTREF;
    case MemberKind::Method:
        break;
    }
    return DISPATCH_METHOD;
}

HRESULT bindOperations(IDispatch *node, BoundOperations &operations)
{
    ITypeInfo *found = nullptr;
    HRESULT hr = node->GetTypeInfo(0, LOCALE_USER_DEFAULT, &found);
    if (SUCCEEDED(hr) && found == nullptr)
        hr = TYPE_E_ELEMENTNOTFOUND;
    if (FAILED(hr))
        return hr;
    ComPtr<ITypeInfo> objectInfo(found);
    ComPtr<ITypeInfo> info(nullptr);
    hr = interfaceInfo(objectInfo.get(), info);
    std::size_t entrySize = 0;
    if (SUCCEEDED(hr))
        hr = entrySizeOf(info.get(), entrySize);
    std::vector<MemberDescription> members;
    if (SUCCEEDED(hr))
        hr = membersOf(info.get(), members);
    if (FAILED(hr))
        return hr;
    const auto bind = [&](std::size_t slot, MemberKind kind, BoundMember &bound) {
        const auto member = memberAtSlot(members, slot, entrySize, kind);
        if (member)
            bound = {static_cast<DISPID>(member->id), dispatchFlags(member->kind)};
        return member.has_value();
    };
    const bool all = bind(kSetTransmitSlot, MemberKind::PropertyWrite, operations.setTransmit) &&
                     bind(kIpBusySlot, MemberKind::PropertyRead, operations.ipBusy) &&
                     bind(kRfBusySlot, MemberKind::PropertyRead, operations.rfBusy) &&
                     bind(kPlayFileSlot, MemberKind::Method, operations.playFile);
    return all ? S_OK : TYPE_E_ELEMENTNOTFOUND;
}

LinkCreation bindThroughDispatch(HRESULT cause, const ComLink::Note &note,
                                 bool uninitializeCom) noexcept
{
    IDispatch *node = nullptr;
    HRESULT hr = CoCreateInstance(kNodeClassId, nullptr, CLSCTX_SERVER, IID_IDispatch,
                                  reinterpret_cast<void **>(&node));
    if (SUCCEEDED(hr) && node == nullptr)
        hr = E_NOINTERFACE;
    BoundOperations operations;
    if (SUCCEEDED(hr)) {
        try {
            hr = bindOperations(node, operations);
        } catch (...) {
            hr = E_OUTOFMEMORY;
        }
        if (SUCCEEDED(hr)) {
            if (auto *link = new (std::nothrow) DispatchLink(node, operations, uninitializeCom)) {
                char code[16];
                std::snprintf(code, sizeof code, "%08lX).", static_cast<unsigned long>(cause));
                tell(note,
                     "Liga\xC3\xA7\xC3\xA3o com o n\xC3\xB3: pelo IDispatch do objeto, "
                     "opera\xC3\xA7\xC3\xB5"
                     "es achadas pela posi\xC3\xA7\xC3\xA3o na biblioteca de tipos (a interface "
                     "do n\xC3\xB3 n\xC3\xA3o est\xC3\xA1 registrada para programas de 64 bits: ",
                     code);
                return {std::unique_ptr<LinkObject>(link), LinkStatus::success()};
            }
            hr = E_OUTOFMEMORY;
        }
        node->Release();
    }
    if (uninitializeCom)
        CoUninitialize();
    return {nullptr, statusOf(hr)};
}

} // namespace

} // namespace win

} // namespace anunciel
