// The main window end to end against the demo catalogue: lists, previews,
// downloads, installs and uninstalls, the popup menu, pages and painting.
#include "app/uCatalogTree.h"
#include "app/wallpaper/uFrmWallpaper.h"
#include "controls/ImgButton.h"
#include "controls/PaintPanel.h"
#include "install/CodePage.h"
#include "install/uPubFunc.h"
#include "platform/util/Ascii.h"
#include "platform/util/Sha256.h"
#include "tests/app/AppFixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStackedWidget>
#include <QTest>

#include <algorithm>

namespace fs = std::filesystem;

namespace velmora::test {
namespace {

const std::string Theme = "山水之间";     // a ZIP theme
const std::string ThemePack = "海边日落"; // a theme pack
const std::string Cursor = "水晶指针";
const std::string Saver = "星空漫游";

std::string PreviewPath(const char* word, const std::string& name) {
    return std::string("/softdata/win7/res/") + word + "/" + name + ".jpg";
}

QImage Shown(TFrmMain& window, const char* preview) {
    auto* label = window.findChild<QLabel*>(preview);
    return label && !label->pixmap().isNull() ? label->pixmap().toImage() : QImage();
}

using AppWindow = TAppTest;

// The files of a cache folder other than previews (and a preview being
// saved, under its temporary name).
std::vector<fs::path> FilesIn(const fs::path& folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().filename().string().find(".jpg") == std::string::npos)
            out.push_back(entry.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

TEST_F(AppWindow, FillsTheListsFromTheServer) {
    TFrmMain& window = Open();
    EXPECT_FALSE(window.Terminated());
    EXPECT_TRUE(FMessages->Shown.empty()) << ::testing::PrintToString(FMessages->Texts());
    TCatalogModel* themes = window.ListOfTag(tagTheme)->Model();
    ASSERT_EQ(themes->rowCount(), 3); // groups
    EXPECT_EQ(themes->IndexOf(0).data().toString(), "风景");
    EXPECT_EQ(themes->rowCount(themes->IndexOf(0)), 3);
    EXPECT_EQ(themes->headerData(0, Qt::Horizontal).toString(), "主题名称 (共:5个主题)");
    EXPECT_EQ(window.ListOfTag(tagCursor)->Model()->rowCount(), 2);
    EXPECT_EQ(window.ListOfTag(tagScreenSave)->Model()->rowCount(), 2);
    EXPECT_FALSE(window.ListOfTag(tagTheme)->isExpanded(themes->IndexOf(0))); // collapsed
    EXPECT_EQ(window.findChild<QStackedWidget*>("pgMain")->currentIndex(), 0);
    EXPECT_EQ(window.findChild<QWidget*>("wbAD")->property("url").toUrl().toString(),
              QString::fromStdString(FServer->BaseUrl() + "/ad/201081153_1.html"));
    EXPECT_EQ(window.size(), QSize(746, 466));
    EXPECT_EQ(window.windowTitle(), "Velmora");
}

TEST_F(AppWindow, CatalogueMessages) {
    // Nothing from the server and no local copy: the program ends.
    FServer->AddStatus("/softdata/win7/config.txt", 404);
    TFrmMain& window = Open();
    EXPECT_TRUE(window.Terminated());
    ASSERT_EQ(FMessages->Texts(), std::vector<std::string>{"无法获取配置文件，程序将退出"});
    EXPECT_EQ(FMessages->Shown[0].Kind, mkWarning);
    FWindow.reset();

    // A page that is not the catalogue: the parse message, empty lists.
    FMessages->Shown.clear();
    FServer->AddStatus("/softdata/win7/config.txt", 200, "<html>busy</html>");
    TFrmMain& second = Open();
    EXPECT_FALSE(second.Terminated());
    EXPECT_EQ(FMessages->Texts(), std::vector<std::string>{"读取配置出错，程序无法正常运行"});
    EXPECT_EQ(second.ListOfTag(tagTheme)->Model()->rowCount(), 0);
}

TEST_F(AppWindow, PreviewIsFetchedOnceAndCached) {
    TFrmMain& window = Open();
    Focus(tagTheme, Theme);
    ASSERT_TRUE(WaitPreviews());
    EXPECT_EQ(FServer->RequestCount(PreviewPath("theme", Theme)), 1u);
    EXPECT_TRUE(fs::exists(ExeDir() / "cache/theme" / (Theme + ".jpg")));
    EXPECT_EQ(Shown(window, "imgView").size(), QSize(400, 300));

    Focus(tagTheme, "秋日森林");
    ASSERT_TRUE(WaitPreviews());
    Focus(tagTheme, Theme);
    EXPECT_EQ(FWindow->PreviewsPending(), 0u);
    EXPECT_EQ(FServer->RequestCount(PreviewPath("theme", Theme)), 1u);

    // A group row clears the preview.
    TCatalogTree* list = window.ListOfTag(tagTheme);
    list->setCurrentIndex(list->Model()->IndexOf(0));
    EXPECT_TRUE(Shown(window, "imgView").isNull());
}

TEST_F(AppWindow, MissingOrBrokenPreviewShowsTheNoPreviewPicture) {
    const QImage noPic(":/velmora/nopic.png");
    FServer->AddStatus(PreviewPath("cursor", Cursor), 404);
    FServer->AddStatus(PreviewPath("cursor", "极简黑白"), 200, "not a picture");
    // A real preview followed by megabytes of padding: it would decode.
    const std::string padded =
        ReadFile(DemoCatalog() / "softdata/win7/res/screensave" / (Saver + ".jpg")) +
        std::string(9 << 20, '\0');
    FServer->AddStatus(PreviewPath("screensave", Saver), 200, padded);
    TFrmMain& window = Open();
    for (const std::string& name : {Cursor, std::string("极简黑白")}) {
        Focus(tagCursor, name);
        ASSERT_TRUE(WaitPreviews());
        EXPECT_EQ(Shown(window, "imgCursorView"),
                  noPic.convertToFormat(Shown(window, "imgCursorView").format()))
            << name;
        EXPECT_FALSE(fs::exists(ExeDir() / "cache/cursor" / (name + ".jpg"))) << name;
    }
    // An answer far too large for a preview is not kept either.
    Focus(tagScreenSave, Saver);
    ASSERT_TRUE(WaitPreviews());
    EXPECT_EQ(Shown(window, "imgScreenView"),
              noPic.convertToFormat(Shown(window, "imgScreenView").format()));
    EXPECT_FALSE(fs::exists(ExeDir() / "cache/screensave" / (Saver + ".jpg")));
    // Nothing was kept, so the next focus asks again.
    Focus(tagCursor, Cursor);
    ASSERT_TRUE(WaitPreviews());
    EXPECT_EQ(FServer->RequestCount(PreviewPath("cursor", Cursor)), 2u);
}

TEST_F(AppWindow, GroupRowsOpenOnASingleClickAndHaveNoMenu) {
    TFrmMain& window = Open();
    TCatalogTree* list = window.ListOfTag(tagTheme);
    const QModelIndex group = list->Model()->index(1, 0); // the second group
    list->scrollTo(group);
    const QPoint at = list->visualRect(group).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(list->isExpanded(group));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_FALSE(list->isExpanded(group));
    // A double-click toggles it once: the view's own toggle between the clicks.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(list->isExpanded(group));
    EXPECT_FALSE(window.vstThemeListContextPopup(list));
    window.vstThemeListDblClick(list);         // nothing to download for a group
    EXPECT_EQ(FServer->Requests().size(), 1u); // the catalogue and nothing else
    EXPECT_TRUE(FMessages->Shown.empty());
}

TEST_F(AppWindow, DownloadThenInstallThenUninstallATheme) {
    TServerFaults slow;
    slow.SlowDelayMs = 2;
    slow.SlowChunk = 4096;
    FServer->SetFaults(slow);
    TFrmMain& window = Open();
    DoubleClick(tagTheme, Theme);
    EXPECT_EQ(Item(tagTheme, Theme).State, dsDownloading);
    EXPECT_TRUE(Status(tagTheme, Theme).startsWith("进度:"));
    DoubleClick(tagTheme, Theme); // a second request while it runs starts nothing
    std::vector<int> seen;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const TCatalogItem& item = Item(tagTheme, Theme);
            if (item.State == dsDownloading && (seen.empty() || seen.back() != item.Progress))
                seen.push_back(item.Progress);
            return item.State != dsDownloading;
        },
        20000));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(FServer->RequestCount("/softdata/win7/res/theme/" + Theme + ".zip"), 1u);
    EXPECT_EQ(Status(tagTheme, Theme), "下载成功");
    EXPECT_EQ(Row(tagTheme, Theme).siblingAtColumn(1).data(TCatalogModel::ImageIndexRole), 4);
    EXPECT_TRUE(fs::is_regular_file(PackagePath(tagTheme, Theme)));

    DoubleClick(tagTheme, Theme);
    EXPECT_TRUE(Item(tagTheme, Theme).Installed);
    const fs::path themeFile = window.Folders().WinDir / "Resources/Themes" / (Theme + ".theme");
    EXPECT_TRUE(fs::is_regular_file(themeFile));
    EXPECT_NE(Journal().find("ThemeApplied"), std::string::npos) << Journal();
    EXPECT_EQ(Row(tagTheme, Theme).data(TCatalogModel::ImageIndexRole), 2);

    ASSERT_TRUE(window.vstThemeListContextPopup(window.ListOfTag(tagTheme)));
    EXPECT_TRUE(window.findChild<QAction*>("pmiApply")->isEnabled());
    EXPECT_FALSE(ChooseMenuItem("pmiDown")); // downloaded already
    ASSERT_TRUE(ChooseMenuItem("pmiUnInstall"));
    EXPECT_FALSE(Item(tagTheme, Theme).Installed);
    EXPECT_FALSE(fs::exists(themeFile));
    EXPECT_TRUE(fs::exists(PackagePath(tagTheme, Theme))); // the cache keeps it
    EXPECT_TRUE(FMessages->Shown.empty());
}

TEST_F(AppWindow, ApplyAThemePackThroughTheMenu) {
    TFrmMain& window = Open();
    DoubleClick(tagTheme, ThemePack);
    ASSERT_TRUE(WaitDownloaded(tagTheme, ThemePack));
    ASSERT_TRUE(ChooseMenuItem("pmiApply"));
    EXPECT_TRUE(Item(tagTheme, ThemePack).Installed);
    EXPECT_TRUE(fs::is_directory(window.Folders().UserThemesDir / ThemePack)) << Journal();
    ASSERT_TRUE(ChooseMenuItem("pmiUnInstall"));
    EXPECT_FALSE(fs::exists(window.Folders().UserThemesDir / ThemePack));
}

// A demo theme shaped as real ones are: its .theme names its wallpaper and
// its own cursors in another letter case than the files in the package.
TEST_F(AppWindow, ADemoThemeWithItsOwnCursorsChangesTheDesktop) {
    const std::string name = "星空少女";
    TFrmMain& window = Open();
    DoubleClick(tagTheme, name);
    ASSERT_TRUE(WaitDownloaded(tagTheme, name));
    DoubleClick(tagTheme, name);
    ASSERT_TRUE(Item(tagTheme, name).Installed) << Journal();
    const fs::path own = window.Folders().WinDir / "Resources/Themes" / name;
    // The names as the theme file spells them; on Windows, whose file names
    // ignore case, the simulated Windows keeps that spelling, elsewhere it
    // finds the names on disk.
    const auto plain = [](std::string text) {
#ifdef _WIN32
        std::replace(text.begin(), text.end(), '/', '\\');
        return LowerAscii(text);
#else
        return text;
#endif
    };
    auto desktop = FSystem->OpenCurrentUserKey("Control Panel\\Desktop", false);
    ASSERT_TRUE(desktop);
    EXPECT_EQ(plain(desktop->ReadString("Wallpaper").value_or("")),
              plain((own / "Wallpaper.jpg").string()));
    auto cursors = FSystem->OpenCurrentUserKey("Control Panel\\Cursors", false);
    ASSERT_TRUE(cursors);
    EXPECT_EQ(cursors->ReadString("").value_or(""), name);
    EXPECT_NE(plain(Journal()).find(
                  plain("SetSystemCursor id=32512 file=" + (own / "Cursors/Arrow.CUR").string())),
              std::string::npos)
        << Journal();
}

TEST_F(AppWindow, CursorSchemeInstallsAndUninstalls) {
    TFrmMain& window = Open();
    window.findChild<TImgCheckButton*>("icbCursor")
        ->OnClick(window.findChild<TImgCheckButton*>("icbCursor"));
    DoubleClick(tagCursor, Cursor);
    ASSERT_TRUE(WaitDownloaded(tagCursor, Cursor));
    EXPECT_EQ(Status(tagCursor, Cursor), "下载成功");
    DoubleClick(tagCursor, Cursor);
    EXPECT_TRUE(Item(tagCursor, Cursor).Installed);
    auto cursors = FSystem->OpenCurrentUserKey("Control Panel\\Cursors", false);
    ASSERT_TRUE(cursors);
    EXPECT_EQ(cursors->ReadString("").value_or(""), Cursor);
    EXPECT_NE(cursors->ReadString("Arrow").value_or("").find("pointer.cur"), std::string::npos);
    EXPECT_NE(Journal().find("SystemParametersInfo action=87"), std::string::npos) << Journal();
    // The scheme's .cur and .ani files load and replace the system cursors.
    EXPECT_NE(Journal().find("SetSystemCursor id=32512 file="), std::string::npos) << Journal();
    EXPECT_NE(Journal().find("SetSystemCursor id=32514 file="), std::string::npos) << Journal();

    ASSERT_TRUE(ChooseMenuItem("pmiUnInstall"));
    EXPECT_FALSE(Item(tagCursor, Cursor).Installed);
    EXPECT_FALSE(fs::exists(window.Folders().WinDir / "Cursors" / Cursor));
    auto schemes = FSystem->OpenCurrentUserKey("Control Panel\\Cursors\\Schemes", false);
    EXPECT_FALSE(schemes && schemes->ReadString(Cursor));
}

TEST_F(AppWindow, ScreenSaverInstallsCancelsAndUninstalls) {
    TFrmMain& window = Open();
    QTest::mouseClick(window.findChild<QWidget*>("icbScreen"), Qt::LeftButton);
    EXPECT_EQ(window.findChild<QStackedWidget*>("pgMain")->currentIndex(), 3);
    DoubleClick(tagScreenSave, Saver);
    ASSERT_TRUE(WaitDownloaded(tagScreenSave, Saver));
    ASSERT_TRUE(ChooseMenuItem("pmiApply"));
    EXPECT_TRUE(Item(tagScreenSave, Saver).Installed);
    auto desktop = FSystem->OpenCurrentUserKey("Control Panel\\Desktop", false);
    ASSERT_TRUE(desktop);
    EXPECT_NE(desktop->ReadString("SCRNSAVE.EXE").value_or(""), "");
    EXPECT_NE(Journal().find("ScreenSaverStarted"), std::string::npos);

    QTest::mouseClick(window.findChild<QWidget*>("lbCancelScreenSave"), Qt::LeftButton);
    EXPECT_EQ(FMessages->Texts(), std::vector<std::string>{"取消屏保成功"});
    ASSERT_TRUE(ChooseMenuItem("pmiUnInstall"));
    EXPECT_FALSE(Item(tagScreenSave, Saver).Installed);
    EXPECT_FALSE(fs::exists(window.Folders().SysDir / (Saver + ".scr")));
}

TEST_F(AppWindow, FailedDownloadAndVanishedPackage) {
    FServer->AddStatus("/softdata/win7/res/cursor/" + Cursor + ".zip", 404);
    TFrmMain& window = Open();
    QTest::mouseClick(window.findChild<QWidget*>("icbCursor"), Qt::LeftButton);
    DoubleClick(tagCursor, Cursor);
    ASSERT_TRUE(WaitDownloaded(tagCursor, Cursor));
    EXPECT_EQ(Status(tagCursor, Cursor), "下载失败");
    EXPECT_FALSE(fs::exists(PackagePath(tagCursor, Cursor)));

    DoubleClick(tagCursor, "极简黑白");
    ASSERT_TRUE(WaitDownloaded(tagCursor, "极简黑白"));
    fs::remove(PackagePath(tagCursor, "极简黑白"));
    // Painting only reads the row; focusing it looks at the cache again.
    EXPECT_EQ(Status(tagCursor, "极简黑白"), "下载成功");
    Focus(tagCursor, Cursor);
    Focus(tagCursor, "极简黑白");
    EXPECT_EQ(Status(tagCursor, "极简黑白"), "");
    EXPECT_EQ(Item(tagCursor, "极简黑白").State, dsNone);
    EXPECT_FALSE(ChooseMenuItem("pmiUnInstall"));
    ASSERT_TRUE(ChooseMenuItem("pmiDown"));
    EXPECT_TRUE(WaitDownloaded(tagCursor, "极简黑白"));
    EXPECT_EQ(Status(tagCursor, "极简黑白"), "下载成功");
}

TEST_F(AppWindow, ClosingTheWindowAbandonsRunningDownloads) {
    TServerFaults slow;
    slow.SlowDelayMs = 20;
    slow.SlowChunk = 512;
    FServer->SetFaults(slow);
    Open();
    DoubleClick(tagTheme, Theme);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Item(tagTheme, Theme).Progress > 0; }, 10000));
    const fs::path package = PackagePath(tagTheme, Theme);
    FWindow.reset();
    // The window has waited for its workers: they ended without touching the
    // rows that are gone, left nothing under the package's name and kept what
    // had arrived for the next start.
    EXPECT_EQ(FilesIn(package.parent_path()),
              (std::vector<fs::path>{Theme + ".zip.part", Theme + ".zip.resume"}));
    const std::uint64_t kept = fs::file_size(package.string() + ".part");

    // Started again: the download continues where it stopped.
    FServer->SetFaults({});
    FServer->ClearRequests();
    Open();
    EXPECT_EQ(Status(tagTheme, Theme), "");
    DoubleClick(tagTheme, Theme);
    ASSERT_TRUE(WaitDownloaded(tagTheme, Theme));
    EXPECT_EQ(Status(tagTheme, Theme), "下载成功");
    const std::string served = "/softdata/win7/res/theme/" + Theme + ".zip";
    EXPECT_TRUE(ReadFile(package) == ReadFile(DemoCatalog() / served.substr(1)));
    EXPECT_EQ(FilesIn(package.parent_path()), std::vector<fs::path>{Theme + ".zip"});
    bool resumed = false;
    for (const auto& request : FServer->Requests())
        if (request.Path == served)
            resumed = request.Headers.count("range") &&
                      request.Headers.at("range") == "bytes=" + std::to_string(kept) + "-";
    EXPECT_TRUE(resumed);
}

TEST_F(AppWindow, CancelFromTheMenuStopsTheDownloadAndRemovesItsData) {
    TServerFaults slow;
    slow.SlowDelayMs = 20;
    slow.SlowChunk = 512;
    FServer->SetFaults(slow);
    TFrmMain& window = Open();
    EXPECT_FALSE(ChooseMenuItem("pmiCancel")); // nothing focused, no menu
    Focus(tagTheme, Theme);
    EXPECT_FALSE(ChooseMenuItem("pmiCancel")); // not downloading
    DoubleClick(tagTheme, Theme);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Item(tagTheme, Theme).Progress > 0; }, 10000));
    ASSERT_TRUE(window.vstThemeListContextPopup(window.ListOfTag(tagTheme)));
    EXPECT_FALSE(window.findChild<QAction*>("pmiDown")->isEnabled());
    ASSERT_TRUE(ChooseMenuItem("pmiCancel"));
    ASSERT_TRUE(WaitDownloaded(tagTheme, Theme));
    EXPECT_EQ(Item(tagTheme, Theme).State, dsNone);
    EXPECT_EQ(Status(tagTheme, Theme), "");
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.WorkersRunning() == 0; }, 10000));
    EXPECT_TRUE(FilesIn(PackagePath(tagTheme, Theme).parent_path()).empty());
    EXPECT_TRUE(ChooseMenuItem("pmiDown")); // and it can be downloaded again
    ASSERT_TRUE(WaitDownloaded(tagTheme, Theme));
    EXPECT_TRUE(FMessages->Shown.empty());
}

TEST_F(AppWindow, TheKeyboardsMenuKeyOpensTheMenuAtTheFocusedRow) {
    TFrmMain& window = Open();
    Focus(tagTheme, Theme);
    TCatalogTree* list = window.ListOfTag(tagTheme);
    // What the window system sends to the focused widget for the menu key.
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), QPoint(0, 0));
    QApplication::sendEvent(list->viewport(), &key);
    auto* menu = window.findChild<QMenu*>("PopupMenu");
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
    const QRect row = list->visualRect(Row(tagTheme, Theme));
    EXPECT_EQ(menu->pos(), list->viewport()->mapToGlobal(row.bottomLeft()));
    menu->close();
}

// A catalogue whose only theme carries the given digest.
std::string CheckedCatalogue(const std::string& sha256) {
    return Utf8ToCp936(R"({"themes":[{"name":"组","list":[{"name":")" + Theme +
                       R"(","iszip":true,"sha256":")" + sha256 + R"("}]}]})");
}

TEST_F(AppWindow, APackageThatIsNotWhatTheCatalogueSaysIsNeverInstalled) {
    const std::string served = "softdata/win7/res/theme/" + Theme + ".zip";
    const std::string package = ReadFile(DemoCatalog() / served);
    FServer->AddStatus("/softdata/win7/config.txt", 200, CheckedCatalogue(std::string(64, '0')));
    Open();
    DoubleClick(tagTheme, Theme);
    ASSERT_TRUE(WaitDownloaded(tagTheme, Theme));
    EXPECT_EQ(Status(tagTheme, Theme), "下载失败");
    EXPECT_EQ(FMessages->Texts(), std::vector<std::string>{"文件校验失败：" + Theme});
    EXPECT_TRUE(FilesIn(PackagePath(tagTheme, Theme).parent_path()).empty());
    EXPECT_FALSE(Item(tagTheme, Theme).Installed);

    // With the right digest it arrives; damaged on disk afterwards, it is
    // caught before it is installed.
    FWindow.reset();
    FMessages->Shown.clear();
    FServer->AddStatus("/softdata/win7/config.txt", 200, CheckedCatalogue(Sha256Hex(package)));
    TFrmMain& window = Open();
    DoubleClick(tagTheme, Theme);
    ASSERT_TRUE(WaitDownloaded(tagTheme, Theme));
    ASSERT_EQ(Status(tagTheme, Theme), "下载成功");
    std::string damaged = package;
    damaged[damaged.size() / 2] ^= 1;
    WriteFile(PackagePath(tagTheme, Theme), damaged);
    DoubleClick(tagTheme, Theme);
    EXPECT_FALSE(Item(tagTheme, Theme).Installed);
    EXPECT_EQ(FMessages->Texts(), std::vector<std::string>{"文件校验失败：" + Theme});
    EXPECT_FALSE(fs::exists(PackagePath(tagTheme, Theme)));
    EXPECT_EQ(Status(tagTheme, Theme), "");
    EXPECT_FALSE(fs::exists(window.Folders().WinDir / "Resources/Themes" / (Theme + ".theme")));
}

TEST_F(AppWindow, StaleTemporaryPackagesAreRemovedAtStart) {
    std::vector<fs::path> stale = {ExeDir() / "cache/theme/a.zip.0123456789abcdef.tmp",
                                   ExeDir() / "cache/screensave/b.zip.fedcba9876543210.tmp",
                                   // partial data of what the catalogue no longer offers
                                   ExeDir() / "cache/theme/gone.zip.part",
                                   ExeDir() / "cache/theme/gone.zip.resume"};
    std::vector<fs::path> kept = {ExeDir() / "cache/theme/notes.tmp",
                                  ExeDir() / ("cache/cursor/" + Cursor + ".zip"),
                                  ExeDir() / ("cache/theme/" + Theme + ".zip.part"),
                                  ExeDir() / ("cache/theme/" + Theme + ".zip.resume")};
    // Extractions cut off by a kill leave theirs where packages unpack.
    const TFolderFields folders = MakeFolderFields(*FSystem, ExeDir());
    stale.push_back(folders.WinDir / "Cursors/Neon/sub/arrow.cur.00000000000000aa.tmp");
    stale.push_back(folders.WinDir / "Resources/Themes/Sea/wall.jpg.00000000000000bb.tmp");
    stale.push_back(folders.SysDir / "Rain.scr.00000000000000cc.tmp");
    kept.push_back(folders.WinDir / "Cursors/Neon/arrow.cur");
    kept.push_back(folders.SysDir / "sub/deep.scr.00000000000000dd.tmp"); // not walked
    for (const auto& file : stale)
        WriteFile(file, "cut off when the program ended");
    for (const auto& file : kept)
        WriteFile(file, "PK");
    Open();
    for (const auto& file : stale)
        EXPECT_FALSE(fs::exists(file)) << file;
    for (const auto& file : kept)
        EXPECT_TRUE(fs::exists(file)) << file;
    EXPECT_EQ(Status(tagCursor, Cursor), "下载成功");
}

TEST_F(AppWindow, ASilentServerLeavesTheWindowAnsweringUntilTheLocalCopyFillsIt) {
    FServer->Hold("/softdata/win7/config.txt");
    fs::copy_file(DemoCatalog() / "softdata/win7/config.txt", ExeDir() / "config.txt");
    FCatalogLimitMs = 3000;
    TFrmMain& window = Show();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.CatalogLoading());
    TCatalogModel* themes = window.ListOfTag(tagTheme)->Model();
    EXPECT_EQ(themes->headerData(0, Qt::Horizontal).toString(), "正在读取目录…");
    EXPECT_EQ(themes->rowCount(), 0);

    // The page buttons work while the catalogue is on its way.
    auto* pages = window.findChild<QStackedWidget*>("pgMain");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return FServer->RequestCount("/softdata/win7/config.txt"); }));
    QTest::mouseClick(window.findChild<QWidget*>("icbCursor"), Qt::LeftButton);
    EXPECT_EQ(pages->currentIndex(), 2);
    EXPECT_TRUE(window.CatalogLoading());

    // The request is given up and the local copy fills the lists, as the
    // server's document would have, without a message.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.CatalogLoading(); }, 20000));
    EXPECT_TRUE(FMessages->Shown.empty());
    EXPECT_EQ(themes->rowCount(), 3);
    EXPECT_EQ(themes->headerData(0, Qt::Horizontal).toString(), "主题名称 (共:5个主题)");
    EXPECT_EQ(window.ListOfTag(tagCursor)->Model()->headerData(0, Qt::Horizontal).toString(),
              "光标名称");
    EXPECT_EQ(window.ListOfTag(tagCursor)->Model()->rowCount(), 2);
    EXPECT_EQ(pages->currentIndex(), 2); // the click was not undone
    FServer->Release();
}

TEST_F(AppWindow, APageAskedForBeforeTheFirstPaintIsBuiltAtOnce) {
    FWaitForPages = false;
    TFrmMain& window = Show();
    // Only what the first paint shows is there yet.
    EXPECT_FALSE(window.PagesBuilt());
    EXPECT_NE(window.ListOfTag(tagTheme), nullptr);
    EXPECT_EQ(window.ListOfTag(tagScreenSave), nullptr);
    EXPECT_EQ(window.WallpaperWindow(), nullptr);

    QTest::mouseClick(window.findChild<QWidget*>("icbScreen"), Qt::LeftButton);
    EXPECT_TRUE(window.PagesBuilt());
    EXPECT_EQ(window.findChild<QStackedWidget*>("pgMain")->currentIndex(), 3);
    TCatalogTree* screens = window.ListOfTag(tagScreenSave);
    ASSERT_NE(screens, nullptr);
    EXPECT_TRUE(screens->isVisible());
    EXPECT_TRUE(window.findChild<QWidget*>("lbCancelScreenSave")->isVisible());
    EXPECT_NE(window.WallpaperWindow(), nullptr);
    // The catalogue fills the list that was built after it was asked for.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.CatalogLoading(); }, 20000));
    EXPECT_EQ(screens->model()->rowCount(), 2);
}

TEST_F(AppWindow, ASlowPreviewIsShownOnlyForTheItemStillFocused) {
    const std::string slow = PreviewPath("theme", Theme);
    FServer->Hold(slow);
    TFrmMain& window = Open();
    const QImage noPic = Shown(window, "imgView"); // nothing focused yet: empty
    EXPECT_TRUE(noPic.isNull());

    // The focus moves on at once; the answer has not come.
    Focus(tagTheme, Theme);
    ASSERT_TRUE(QTest::qWaitFor([&] { return FServer->RequestCount(slow) == 1; }));
    EXPECT_EQ(window.PreviewsPending(), 1u);
    EXPECT_EQ(Shown(window, "imgView").size(), QSize(400, 300)); // the no-preview picture
    Focus(tagTheme, "秋日森林");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.PreviewsPending() == 1; }));
    const fs::path other = ExeDir() / "cache/theme/秋日森林.jpg";
    const QImage otherPicture(QString::fromStdString(other.string()));
    ASSERT_FALSE(otherPicture.isNull());
    EXPECT_EQ(Shown(window, "imgView"),
              otherPicture.convertToFormat(Shown(window, "imgView").format()));
    // Back and away again: still the one request for the slow item.
    Focus(tagTheme, Theme);
    Focus(tagTheme, "秋日森林");
    EXPECT_EQ(FServer->RequestCount(slow), 1u);

    // Its answer arrives late: kept in the cache, not shown.
    FServer->Release(slow);
    ASSERT_TRUE(WaitPreviews());
    EXPECT_TRUE(fs::is_regular_file(ExeDir() / "cache/theme" / (Theme + ".jpg")));
    EXPECT_EQ(Shown(window, "imgView"),
              otherPicture.convertToFormat(Shown(window, "imgView").format()));
    // From now on it comes from the cache.
    Focus(tagTheme, Theme);
    EXPECT_EQ(window.PreviewsPending(), 0u);
    EXPECT_EQ(FServer->RequestCount(slow), 1u);
}

TEST_F(AppWindow, UnwritableCacheFailsTheDownloadQuietly) {
    test::WriteFile(ExeDir() / "cache", "a file where the cache folder belongs");
    TFrmMain& window = Open();
    Focus(tagCursor, Cursor);
    ASSERT_TRUE(WaitPreviews());
    EXPECT_EQ(Shown(window, "imgCursorView").size(), QSize(400, 300)); // the no-preview picture
    DoubleClick(tagCursor, Cursor);
    ASSERT_TRUE(WaitDownloaded(tagCursor, Cursor));
    EXPECT_EQ(Status(tagCursor, Cursor), "下载失败");
    EXPECT_TRUE(FMessages->Shown.empty());
}

TEST_F(AppWindow, ABrokenPackageReachesTheDefaultErrorHandler) {
    Open();
    // A package that is no ZIP archive: the installer's error escapes the
    // double-click handler and is shown; the window goes on.
    test::WriteFile(ExeDir() / "cache/cursor" / (Cursor + ".zip"), "this is not a zip");
    DoubleClick(tagCursor, Cursor);
    ASSERT_EQ(FMessages->Shown.size(), 1u);
    EXPECT_EQ(FMessages->Shown[0].Kind, mkError);
    EXPECT_FALSE(Item(tagCursor, Cursor).Installed);
    DoubleClick(tagCursor, "极简黑白");
    EXPECT_TRUE(WaitDownloaded(tagCursor, "极简黑白"));
}

TEST_F(AppWindow, PageButtonsSwitchPagesAsOneGroup) {
    TFrmMain& window = Open();
    auto* pages = window.findChild<QStackedWidget*>("pgMain");
    auto button = [&](const char* name) { return window.findChild<TImgCheckButton*>(name); };
    QTest::mouseClick(button("icbWallpaper"), Qt::LeftButton);
    EXPECT_EQ(pages->currentIndex(), 5);
    EXPECT_TRUE(button("icbWallpaper")->Checked());
    // The wallpaper search window fills its page, showing the advertisement
    // of the catalogue server.
    TFrmWallpaper* wallpaper = window.WallpaperWindow();
    ASSERT_NE(wallpaper, nullptr);
    EXPECT_EQ(wallpaper->parentWidget(), pages->widget(5));
    EXPECT_EQ(wallpaper->geometry(), pages->widget(5)->rect());
    // Its parts are laid out on the page's size, not the design's: the strip
    // holds the bottom 30 pixels over the whole width.
    const QRect page = pages->widget(5)->rect();
    EXPECT_EQ(wallpaper->pnlPage->geometry(), QRect(0, page.height() - 30, page.width(), 30));
    EXPECT_EQ(wallpaper->vstResult->geometry().right(), page.width() - 2);
    EXPECT_EQ(wallpaper->pnlSearch->width(), page.width());
    EXPECT_TRUE(wallpaper->isVisible());
    EXPECT_TRUE(wallpaper->pnlAD2->isVisible());
    EXPECT_EQ(wallpaper->wbMain->property("url").toString().toStdString(),
              FServer->BaseUrl() + "/ad/201081153_2.html");
    EXPECT_FALSE(button("icbThemes")->Checked());
    EXPECT_FALSE(ChooseMenuItem("pmiDown")); // no list, no menu
    // Nor do the handlers act without a list.
    window.pmiUnInstallClick();
    window.pmiDownClick();
    QTest::mouseClick(button("icbThemes"), Qt::LeftButton);
    EXPECT_EQ(pages->currentIndex(), 0);
    int checked = 0;
    for (auto* b : window.findChildren<TImgCheckButton*>())
        checked += b->Checked();
    EXPECT_EQ(checked, 1);
    EXPECT_EQ(button("icbCursor")->toolTip(), "在列表中按右键，可弹出操作菜单");
}

TEST_F(AppWindow, FrameLinesAndHotRowArePainted) {
    TFrmMain& window = Open();
    const QImage shot = window.grab().toImage();
    const QColor grey(0x70, 0x70, 0x70);
    const int bottomFrame = 466 - 11;
    EXPECT_EQ(shot.pixelColor(10, 300), grey);  // left edge of the page area
    EXPECT_EQ(shot.pixelColor(735, 300), grey); // right edge
    EXPECT_EQ(shot.pixelColor(300, bottomFrame), grey);
    EXPECT_EQ(shot.pixelColor(600, 60 + 33), grey); // line under the page buttons
    EXPECT_NE(shot.pixelColor(5, 300), grey);

    // The hot row of the theme list.
    TCatalogTree* list = window.ListOfTag(tagTheme);
    const QModelIndex index = Row(tagTheme, Theme);
    const QRect rect = list->visualRect(index);
    QTest::mouseMove(list->viewport(), rect.center());
    // On a real display the move comes back from the system's cursor.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return list->HotRow() == list->Model()->RowOf(index); }, 3000))
        << list->HotRow();
    const QImage rows = list->viewport()->grab().toImage();
    EXPECT_EQ(rows.pixelColor(rect.right() - 2, rect.center().y()), QColor(239, 247, 252));

    // A group row: white, its triangle at (10, 1), never the selection colour.
    const QModelIndex group = list->Model()->index(1, 0);
    list->setCurrentIndex(group);
    const QRect groupRect = list->visualRect(group);
    QImage expected(16, 16, QImage::Format_RGB32);
    expected.fill(Qt::white);
    QPainter(&expected).drawImage(0, 0, QImage(":/velmora/status7.png"));
    const QImage painted = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(painted.copy(10, groupRect.top() + 1, 16, 16), expected);
    EXPECT_EQ(painted.pixelColor(groupRect.right() - 2, groupRect.center().y()), QColor(Qt::white));

    // A selected item row carries the highlight colour.
    list->setCurrentIndex(index);
    const QImage selected = list->viewport()->grab().toImage();
    EXPECT_EQ(selected.pixelColor(rect.right() - 2, rect.center().y()),
              list->palette().color(QPalette::Highlight));
}

TEST_F(AppWindow, LinkOpensTheHomePage) {
    TFrmMain& window = Open();
    QTest::mouseClick(window.findChild<QWidget*>("lblWeb"), Qt::LeftButton);
    EXPECT_EQ(FOpenedUrls, std::vector<std::string>{FServer->BaseUrl() + "/201081153.html"});
}

TEST_F(AppWindow, UpdaterIsCalledOnceAfterTheDelay) {
    const std::string descriptor = "/SiteBack/updateTxt/53.txt";
    FServer->Hold(descriptor);
    // The delay is long enough that opening the window, slow under ThreadSanitizer on a busy
    // machine, cannot outlast it.
    TFrmMain& window = Open(1500, VELMORA_UPDATER_LIB);
    EXPECT_EQ(FServer->RequestCount(descriptor), 0u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return FServer->RequestCount(descriptor) == 1; }, 10000));
    // The updater waits for its answer on a worker, not on the window's thread.
    EXPECT_EQ(window.WorkersRunning(), 1);
    FServer->Release(descriptor);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.WorkersRunning() == 0; }, 10000));
    QTest::qWait(400);
    EXPECT_EQ(FServer->RequestCount(descriptor), 1u);
    EXPECT_EQ(window.UpdaterCalls(), 1);
}

TEST_F(AppWindow, MissingUpdaterIsSkippedSilently) {
    TFrmMain& window = Open(50, QString::fromStdString((ExeDir() / "Update.so").string()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.UpdaterCalls() == 1; }, 5000));
    EXPECT_TRUE(FMessages->Shown.empty());
    EXPECT_TRUE(window.isVisible());
}

} // namespace
} // namespace velmora::test
