#pragma once

// Finding the node's operations in its type information, for the binding through IDispatch:
// each operation is the member whose entry in the function table is the operation's slot,
// never a member found by its name. Plain C++ (the type library's values as numbers) so that
// it is tested on every platform.

#include <cstddef>
#include <optional>
#include <vector>

namespace anunciel::win {

// How a member is called (the type library's INVOKEKIND values).
enum class MemberKind : int
{
    Method = 1,
    PropertyRead = 2,
    PropertyWrite = 4,
    PropertyWriteRef = 8
};

// One function of the interface as its type information describes it.
struct MemberDescription
{
    long id = 0; // the DISPID
    MemberKind kind = MemberKind::Method;
    long tableOffset = 0; // the FUNCDESC's oVft, in bytes
};

// The size of an entry of the function table in a type library made for `system` (its
// SYSKIND: 0 16-bit, 1 32-bit, 2 Macintosh, 3 64-bit). The node's library is a 32-bit one,
// with 4-byte entries, whichever program reads it.
constexpr std::size_t tableEntrySize(int system)
{
    return system == 3 ? 8 : 4;
}

// The slot a table offset is the start of; nothing when it is none.
constexpr std::optional<std::size_t> slotAt(long offset, std::size_t entrySize)
{
    if (offset < 0 || entrySize == 0 || static_cast<std::size_t>(offset) % entrySize != 0)
        return std::nullopt;
    return static_cast<std::size_t>(offset) / entrySize;
}

// The member at `slot` that is called as `kind` (a property write also when it is written by
// reference); nothing when the type information has none there.
inline std::optional<MemberDescription> memberAtSlot(const std::vector<MemberDescription> &members,
                                                     std::size_t slot, std::size_t entrySize,
                                                     MemberKind kind)
{
    for (const MemberDescription &member : members) {
        if (slotAt(member.tableOffset, entrySize) != slot)
            continue;
        const bool callable = member.kind == kind || (kind == MemberKind::PropertyWrite &&
                                                      member.kind == MemberKind::PropertyWriteRef);
        if (callable)
            return member;
    }
    return std::nullopt;
}

} // namespace anunciel::win
