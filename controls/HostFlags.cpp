#include "controls/HostFlags.h"

#include <cstddef>
#include <iterator>

namespace velmora {

namespace {

// The browser's document-host flags, in the order of the options.
constexpr std::uint32_t Flags[] = {
    0x1,       0x2,       0x4,       0x8,        0x10,       0x20,     0x40,     0x80,
    0x100,     0x200,     0x400,     0x800,      0x1000,     0x2000,   0x4000,   0x10000,
    0x20000,   0x40000,   0x80000,   0x100000,   0x200000,   0x400000, 0x800000, 0x1000000,
    0x2000000, 0x4000000, 0x8000000, 0x10000000, 0x20000000,
};

constexpr std::uint32_t DivMode = 0x100;

} // namespace

std::uint32_t HostFlagOf(TUserInterfaceOption option) {
    const auto i = std::size_t(option);
    return i < std::size(Flags) ? Flags[i] : 0;
}

std::uint32_t HostFlagsOf(const TUserInterfaceOptions& options) {
    std::uint32_t flags = 0;
    for (std::size_t i = 0; i < std::size(Flags); ++i)
        if (options.Contains(TUserInterfaceOption(i)))
            flags |= Flags[i];
    return flags;
}

THostInfo HostInfoOf(std::uint32_t hostFlags, TEnterMode mode) {
    THostInfo info;
    info.dwFlags = hostFlags | (mode == emFlagDiv ? DivMode : 0);
    return info;
}

} // namespace velmora
