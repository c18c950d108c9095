// The Win32 folder picker, answered by a second thread the way a person
// would: OK on what the dialog preselected, or Cancel.
#include "platform/win32/Win32System.h"
#include "tests/platform/Conformance.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

HWND FindPickerWindow() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND w, LPARAM out) -> BOOL {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            wchar_t cls[32] = {};
            GetClassNameW(w, cls, 32);
            if (pid == GetCurrentProcessId() && std::wstring(cls) == L"#32770") {
                *reinterpret_cast<HWND*>(out) = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// The text of the item selected in the picker's folder tree.
std::wstring SelectedFolderName(HWND dialog) {
    HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
    if (!tree)
        return {};
    const auto item =
        reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item)
        return {};
    wchar_t text[MAX_PATH] = {};
    TVITEMW tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = MAX_PATH;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    return text;
}

// Presses a button of the picker once it is up (and, when waitFor is given,
// once the tree shows that folder selected); false when no picker came.
class TPickerAnswer {
public:
    explicit TPickerAnswer(int button, std::wstring waitFor = {})
        : FThread([this, button, waitFor] {
              const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
              while (!FDone && std::chrono::steady_clock::now() < until) {
                  if (HWND w = FindPickerWindow()) {
                      // The preselection lands once the tree has been filled.
                      const auto patience =
                          std::chrono::steady_clock::now() + std::chrono::seconds(15);
                      while (!waitFor.empty() && SelectedFolderName(w) != waitFor &&
                             std::chrono::steady_clock::now() < patience)
                          std::this_thread::sleep_for(std::chrono::milliseconds(100));
                      std::this_thread::sleep_for(std::chrono::milliseconds(200));
                      PostMessageW(w, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
                      FPressed = true;
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
          }) {}
    ~TPickerAnswer() { Finish(); }
    // Called once the picker returned: whether the button was pressed in it.
    bool Finish() {
        FDone = true;
        if (FThread.joinable())
            FThread.join();
        return FPressed;
    }

private:
    std::atomic<bool> FDone{false};
    std::atomic<bool> FPressed{false};
    std::thread FThread;
};

// Cancel first, then OK on the preselected folder. Wine fills its shell
// namespace while the first picker of a process is open and misses that
// picker's preselection (Windows does not), so the cancelled one comes first.
TEST(Win32Picker, CancelReturnsNothingAndOkReturnsThePreselectedFolder) {
    TScratchDir scratch;
    const fs::path folder = scratch.Path() / L"图标 目标";
    fs::create_directories(folder);
    fs::create_directories(scratch.Path() / "another");
    auto system = CreateWin32System();
    {
        TPickerAnswer cancel(IDCANCEL);
        const auto chosen = system->BrowseForFolder("x", scratch.Path(), scratch.Path());
        if (!cancel.Finish())
            GTEST_SKIP() << "no display: the picker could not open (run under Xvfb)";
        EXPECT_FALSE(chosen.has_value());
    }
    // Rooted at the scratch folder: the tree holds only what the test made.
    TPickerAnswer ok(IDOK, folder.filename().wstring());
    const auto chosen = system->BrowseForFolder("指定图标所在的文件夹", scratch.Path(), folder);
    ASSERT_TRUE(ok.Finish());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_TRUE(fs::equivalent(*chosen, folder)) << chosen->string();
}

} // namespace
} // namespace velmora::test
