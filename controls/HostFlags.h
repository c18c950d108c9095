#pragma once
// What the program's embedded browsers report to the browser they host: the
// user-interface options, the host flag word they make, and the host
// information record. The same on every system; only the Windows browser
// hands them to a browser that reads them.
#include <cstdint>
#include <initializer_list>

namespace velmora {

enum TUserInterfaceOption {
    DisableTextSelect,
    DisableHelpMenu,
    DontUse3DBorders,
    DontUseScrollBars,
    PostponeScriptUntilActive,
    ForceOpenNewWindow,
    Reserved_OFFSCREEN,
    ForceFlatScrollBars,
    InsertDivTagOnEditMode,
    ActivateUIOnlyOnDocClick,
    ConsultBeforeRetrievingBehavior,
    CheckFontSupportsCodePage,
    DisableSubmitUrlInUTF8,
    EnableSubmitUrlInUTF8,
    EnablesFormsAutoComplete,
    ForceSameWindowNavigation,
    EmableImeLocalLanguages,
    EnableThemes,
    DisableThemes,
    DisablePicsRatings,
    DisableFrameSetBorder,
    DisablesAutoNameSpaceCorrection,
    DisableLocalFileAccess,
    DisableUntrustedProtocol,
    CheckNavigationDelegatedToHost,
    EnableRedirectNotification,
    EnableDomWindlessControls,
    EnableWindowedControls,
    ForceUserActivationOnActiveXJava,
};

// A set of options, one bit per option number.
class TUserInterfaceOptions {
public:
    TUserInterfaceOptions() = default;
    TUserInterfaceOptions(std::initializer_list<TUserInterfaceOption> options) {
        for (auto o : options)
            FBits |= 1u << unsigned(o);
    }
    bool Contains(TUserInterfaceOption o) const { return FBits & (1u << unsigned(o)); }
    bool Empty() const { return FBits == 0; }
    bool operator==(const TUserInterfaceOptions&) const = default;

private:
    std::uint32_t FBits = 0;
};

// The host flag each option contributes; 0x8000 has no option.
std::uint32_t HostFlagOf(TUserInterfaceOption option);

enum TEnterMode { emFlagP, emFlagDiv };

// What the host reports to the browser.
struct THostInfo {
    std::uint32_t cbSize = 20;
    std::uint32_t dwFlags = 0;
    std::uint32_t dwDoubleClick = 0;
};

inline constexpr std::int32_t S_OK_Result = 0;
inline constexpr std::int32_t S_FALSE_Result = 1;
inline constexpr std::int32_t E_NOTIMPL_Result = std::int32_t(0x80004001u);

// The flag word of a set of options (0 for the empty set).
std::uint32_t HostFlagsOf(const TUserInterfaceOptions& options);
// The record the host hands to the browser: the flags, plus 0x100 in div mode.
THostInfo HostInfoOf(std::uint32_t hostFlags, TEnterMode mode);

} // namespace velmora
