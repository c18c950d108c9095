// The system's per-monitor wallpaper through the Win32 backend, where the
// system has one (Windows 8 and later); Wine answers without it.
#include "platform/win32/Win32System.h"
#include "tests/platform/Conformance.h"
#include "tests/support/PictureFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace velmora::test {
namespace {
namespace fs = std::filesystem;

TEST(Win32ScreenWallpaper, APictureGoesToTheMonitorAtTheScreensRectangle) {
    std::string why;
    if (!HasMonitorWallpaper(&why))
        GTEST_SKIP() << why;
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &info));
    const RECT& r = info.rcMonitor;
    const fs::path own = fs::temp_directory_path() / "velmora-screen.bmp";
    WriteBytes(own, MakeBmpBytes(4, 3));
    auto sys = CreateWin32System();
    ASSERT_TRUE(sys->SetScreenWallpaper(
        {{{r.left, r.top, r.right - r.left, r.bottom - r.top}}, 0, own, {}}));
    fs::remove(own);
}

} // namespace
} // namespace velmora::test
