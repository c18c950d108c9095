// "还原桌面更改…" in the main window: the list of the change record, newest
// first, and a restore chosen there, with the question when someone else
// changed the desktop since.
#include "app/uFrmRestoreChanges.h"
#include "catalog/uCatalog.h"
#include "install/uCursorInstaller.h"
#include "install/uPubFunc.h"
#include "platform/history/RecordingSystem.h"
#include "tests/app/AppFixture.h"
#include "tests/support/PictureFiles.h"
#include "wallpaper/uPicStore.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace fs = std::filesystem;

namespace velmora::test {
namespace {

constexpr const char* DesktopKey = "Control Panel\\Desktop";
const std::string AnyTheme = "山水之间"; // a row of the demo catalogue

class RestoreChanges : public TAppTest {
protected:
    void SetUp() override {
        TAppTest::SetUp();
        // A second instance on the same root, as the program and the tool share one.
        Recording = CreateRecordingSystem(CreateSimulatedSystem(FRoot->Path()),
                                          ChangeRecordFolder(FRoot->Path()), nullptr);
        FHistory = Recording.get();
        WriteFile(FRoot->Path() / "a.bmp", MakeBmpBytes(2, 2));
        WriteFile(FRoot->Path() / "b.bmp", MakeBmpBytes(3, 1));
    }
    void TearDown() override {
        TAppTest::TearDown();
        Recording.reset();
    }

    std::string Wallpaper() {
        return FSystem->OpenCurrentUserKey(DesktopKey, false)->ReadString("Wallpaper").value_or("");
    }

    // Opens the window through the list menu and hands it to act while it is
    // shown (a modal window); fails when it does not open.
    void WithDialog(const std::function<void(TFrmRestoreChanges&)>& act) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TFrmRestoreChanges*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog);
            seen = true;
            act(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        Focus(tagTheme, AnyTheme);
        ASSERT_TRUE(ChooseMenuItem("pmiRestoreChanges"));
        EXPECT_TRUE(seen);
    }

    std::unique_ptr<TRecordingSystem> Recording;
};

TEST_F(RestoreChanges, TheMenuListsTheRecordNewestFirstAndRestoresTheChosenEntry) {
    Open();
    const std::string before = Wallpaper();
    ASSERT_TRUE(
        SetDesktopWallpaper(FWindow->System(), FWindow->Folders().WinDir, FRoot->Path() / "a.bmp"));
    SetScreenSaver(FWindow->System(), {}, true);
    ASSERT_TRUE(
        SetDesktopWallpaper(FWindow->System(), FWindow->Folders().WinDir, FRoot->Path() / "b.bmp"));
    ASSERT_NE(Wallpaper(), before);
    FMessages->Shown.clear();

    WithDialog([&](TFrmRestoreChanges& dialog) {
        auto* list = dialog.findChild<QListWidget*>("lvChanges");
        ASSERT_EQ(list->count(), 3);
        EXPECT_TRUE(list->item(0)->text().endsWith(QString::fromUtf8("设置壁纸")));
        EXPECT_TRUE(list->item(1)->text().endsWith(QString::fromUtf8("取消屏幕保护程序")));
        EXPECT_TRUE(list->item(2)->text().endsWith(QString::fromUtf8("设置壁纸")));
        auto* restore = dialog.findChild<QPushButton*>("btnRestore");
        EXPECT_FALSE(restore->isEnabled()); // nothing chosen yet
        list->setCurrentRow(2);             // the first wallpaper
        QTest::mouseClick(restore, Qt::LeftButton);
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(Wallpaper(), before);
    EXPECT_EQ(FMessages->Texts().back(), "桌面已还原到“设置壁纸”之前。");

    // The restore is listed first now, and can itself be undone.
    WithDialog([&](TFrmRestoreChanges& dialog) {
        auto* list = dialog.findChild<QListWidget*>("lvChanges");
        ASSERT_EQ(list->count(), 4);
        EXPECT_TRUE(list->item(0)->text().endsWith(QString::fromUtf8("还原到“设置壁纸”之前")));
        list->setCurrentRow(0);
        QTest::mouseClick(dialog.findChild<QPushButton*>("btnRestore"), Qt::LeftButton);
    });
    EXPECT_EQ(Wallpaper(), (FWindow->Folders().WinDir / "WallpaperTemp.bmp").string());
    EXPECT_EQ(ReadFile(FWindow->Folders().WinDir / "WallpaperTemp.bmp"), MakeBmpBytes(3, 1));
}

TEST_F(RestoreChanges, ChangesBySomeoneElseAreAskedAboutBeforeAnythingIsDone) {
    Open();
    const std::string before = Wallpaper();
    ASSERT_TRUE(
        SetDesktopWallpaper(FWindow->System(), FWindow->Folders().WinDir, FRoot->Path() / "a.bmp"));
    FSystem->OpenCurrentUserKey(DesktopKey, false)->WriteString("Wallpaper", "D:\\other.bmp");
    FMessages->Shown.clear();
    for (int answer : {IDNO, IDYES}) {
        FMessages->AnswerNext(answer);
        WithDialog([&](TFrmRestoreChanges& dialog) {
            dialog.findChild<QListWidget*>("lvChanges")->setCurrentRow(0);
            QTest::mouseClick(dialog.findChild<QPushButton*>("btnRestore"), Qt::LeftButton);
        });
        ASSERT_FALSE(FMessages->Shown.empty());
        EXPECT_EQ(FMessages->Shown.front().Kind, mkQuestion);
        EXPECT_NE(FMessages->Shown.front().Text.find("Control Panel\\Desktop\\Wallpaper"),
                  std::string::npos);
        EXPECT_EQ(Wallpaper(), answer == IDNO ? "D:\\other.bmp" : before);
        FMessages->Shown.clear();
    }
}

TEST_F(RestoreChanges, ListRowsShowWhatARestoreTookBackOrBroughtBack) {
    Open();
    const std::string scheme = "水晶指针";
    ASSERT_FALSE(Item(tagCursor, scheme).Installed);
    ASSERT_TRUE(InstallCursorScheme(DemoCatalog() / "softdata" / "win7" / "res" / "cursor" /
                                        (scheme + ".zip"),
                                    FWindow->Folders(), FWindow->System()));
    const fs::path folder = FWindow->Folders().WinDir / "Cursors" / scheme;
    ASSERT_TRUE(fs::is_directory(folder));
    auto restoreNewest = [](TFrmRestoreChanges& dialog) {
        dialog.findChild<QListWidget*>("lvChanges")->setCurrentRow(0);
        QTest::mouseClick(dialog.findChild<QPushButton*>("btnRestore"), Qt::LeftButton);
    };
    WithDialog(restoreNewest); // back before the install: its folder goes
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(Item(tagCursor, scheme).Installed);
    WithDialog(restoreNewest); // and the restore undone: they come back
    ASSERT_TRUE(fs::is_directory(folder));
    EXPECT_FALSE(fs::is_empty(folder));
    EXPECT_TRUE(Item(tagCursor, scheme).Installed);
}

} // namespace
} // namespace velmora::test
