// A .theme file as the theme handler and the desktop backend read it: the
// sections and values, the values that name files and their expansion, each
// decoded from code page 936 where there is no byte-order mark.
#include "fuzz/FuzzSupport.h"
#include "install/CodePage.h"
#include "platform/ThemeFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = velmora::fuzz::Bytes(data, size);
    if (bytes.size() > velmora::TThemeFile::MaxBytes)
        return 0;
    const auto theme = velmora::TThemeFile::Parse(
        bytes, [](std::string_view text) { return velmora::Cp936ToUtf8(text); });
    theme.Value("Control Panel\\Desktop", "Wallpaper");
    const velmora::TThemeFolders folders{"/win", "/win/Resources/Themes/t",
                                         "/home/u/AppData/Local"};
    for (const auto& value : velmora::ThemePathValues(theme)) {
        std::string why;
        if (const auto path = velmora::ExpandThemePath(value.Value, folders, &why))
            (void)path->lexically_normal();
    }
    return 0;
}
