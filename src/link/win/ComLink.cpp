#include "link/win/ComLink.h"

#include "link/win/NodeAutomation.h"

#include <climits>
#include <memory>
#include <new>
#include <string>

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

LinkCreation ComLink::create() noexcept
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
        if (auto *link = new (std::nothrow) ComLink(node, uninitializeCom))
            return {std::unique_ptr<LinkObject>(link), LinkStatus::success()};
        node->table->Release(node);
        hr = E_OUTOFMEMORY;
    }
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
        std::wstring wide;
        const HRESULT converted = toUtf16(path, wide);
        if (FAILED(converted))
            return statusOf(converted);
        if (wide.size() > static_cast<std::size_t>(UINT_MAX / sizeof(OLECHAR)))
            return statusOf(E_INVALIDARG);
        // The node takes a real BSTR (it may read the length prefix), freed once it returns.
        Bstr text(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
        if (!text)
            return outOfMemory();
        return statusOf(m_node->table->PlayFile(m_node, text.get(), automationBool(flag)));
    } catch (...) {
        return outOfMemory();
    }
}

} // namespace win

LinkCreation createLink(Log *)
{
    return win::ComLink::create();
}

} // namespace anunciel
