#pragma once

// The node software's automation interface, declared here by hand. The program binds the four
// members it uses by their place in the interface's function table, so it needs neither the
// node software's type library to build nor its dispatch names at run time. Only those four
// members are typed; the other entries are placeholders that are never called.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <oleauto.h>

#include <cstddef>

namespace anunciel::win {

// {D1FB3C9A-BB2D-446A-A74A-E771F134ED56}: the class the node software registers.
inline constexpr CLSID kNodeClassId = {
    0xD1FB3C9A, 0xBB2D, 0x446A, {0xA7, 0x4A, 0xE7, 0x71, 0xF1, 0x34, 0xED, 0x56}};

// {7733112C-4577-4432-9DB0-A9398184EAF6}: the interface the class is created for.
inline constexpr IID kNodeInterfaceId = {
    0x7733112C, 0x4577, 0x4432, {0x9D, 0xB0, 0xA9, 0x39, 0x81, 0x84, 0xEA, 0xF6}};

struct NodeAutomation;

// One entry per slot of the function table, in slot order; slot 0 is QueryInterface.
struct NodeAutomationTable
{
    // Slots 0 to 2: IUnknown.
    HRESULT(STDMETHODCALLTYPE *QueryInterface)(NodeAutomation *self, REFIID iid, void **object);
    ULONG(STDMETHODCALLTYPE *AddRef)(NodeAutomation *self);
    ULONG(STDMETHODCALLTYPE *Release)(NodeAutomation *self);
    // Slots 3 to 6: IDispatch.
    void *dispatchSlots3to6[4];
    void *unusedSlots7to11[5];
    // Slot 12, property write: keys (VARIANT_TRUE) or unkeys (VARIANT_FALSE) the transmitter.
    HRESULT(STDMETHODCALLTYPE *SetTransmit)(NodeAutomation *self, VARIANT_BOOL on);
    // Slot 13, property read: 0 when the internet side is free.
    HRESULT(STDMETHODCALLTYPE *IpBusy)(NodeAutomation *self, VARIANT_BOOL *busy);
    void *unusedSlots14to15[2];
    // Slot 16, property read: 0 when the radio side is free.
    HRESULT(STDMETHODCALLTYPE *RfBusy)(NodeAutomation *self, VARIANT_BOOL *busy);
    void *unusedSlots17to24[8];
    // Slot 25, method: plays a file over the node; the path is a BSTR passed by value.
    HRESULT(STDMETHODCALLTYPE *PlayFile)(NodeAutomation *self, BSTR path, VARIANT_BOOL flag);
};

// A COM object is a pointer to its function table.
struct NodeAutomation
{
    const NodeAutomationTable *table;
};

constexpr std::size_t slotOffset(std::size_t slot)
{
    return slot * sizeof(void *);
}

// The four operations' slots, also where the binding through IDispatch looks for them.
inline constexpr std::size_t kSetTransmitSlot = 12;
inline constexpr std::size_t kIpBusySlot = 13;
inline constexpr std::size_t kRfBusySlot = 16;
inline constexpr std::size_t kPlayFileSlot = 25;

static_assert(offsetof(NodeAutomationTable, Release) == slotOffset(2));
static_assert(offsetof(NodeAutomationTable, SetTransmit) == slotOffset(kSetTransmitSlot));
static_assert(offsetof(NodeAutomationTable, IpBusy) == slotOffset(kIpBusySlot));
static_assert(offsetof(NodeAutomationTable, RfBusy) == slotOffset(kRfBusySlot));
static_assert(offsetof(NodeAutomationTable, PlayFile) == slotOffset(kPlayFileSlot));
static_assert(sizeof(NodeAutomationTable) == slotOffset(26));

} // namespace anunciel::win
