// A catalogue made by `velmora-tool publish` from nothing but packages,
// served by nginx as a publisher serves it: the window lists it, shows the
// previews the tool made, and downloads, checks and installs a theme, a
// cursor scheme and a screen saver from it.
#include "install/CodePage.h"
#include "platform/util/Files.h"
#include "tests/app/AppFixture.h"
#ifndef _WIN32
#include "tests/support/NginxServer.h"
#endif

#include <QImage>
#include <QStackedWidget>
#include <QTest>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;

namespace velmora::test {
namespace {

#ifdef _WIN32
TEST(PublishedCatalog, InstallsAThemeACursorSchemeAndAScreenSaver) {
    GTEST_SKIP() << "nginx, which serves the published catalogue here, is a Linux program";
}
#else
class PublishedCatalog : public TAppTest {
protected:
    void SetUp() override {
        TAppTest::SetUp();
        ASSERT_TRUE(TNginx::Installed()) << "nginx is missing (scripts/install-deps.sh)";
        MakeSource();
        ASSERT_EQ(RunChild({VELMORA_TOOL_EXE, "publish", src.string(), out.string()}), 0);
        ASSERT_TRUE(nginx.Start()) << nginx.Error();
        FServerBase = nginx.BaseUrl();
    }

    // The demo catalogue's packages as a publisher keeps them: themes in
    // group folders, no previews.
    void MakeSource() {
        const fs::path res = DemoCatalog() / "softdata/win7/res";
        std::string text;
        ASSERT_FALSE(ReadWholeFile(DemoCatalog() / "softdata/win7/config.txt", text, 1 << 20));
        const auto doc = nlohmann::json::parse(Cp936ToUtf8(text));
        auto copy = [&](const fs::path& from, const fs::path& to) {
            fs::create_directories(to.parent_path());
            fs::copy_file(from, to);
        };
        for (const auto& group : doc["themes"])
            for (const auto& item : group["list"]) {
                const std::string file =
                    item["name"].get<std::string>() + (item["iszip"] ? ".zip" : ".themepack");
                copy(res / "theme" / fs::path(file),
                     src / "themes" / fs::path(group["name"].get<std::string>()) / fs::path(file));
            }
        for (const auto& name : doc["cursors"])
            copy(res / "cursor" / fs::path(name.get<std::string>() + ".zip"),
                 src / "cursors" / fs::path(name.get<std::string>() + ".zip"));
        for (const auto& name : doc["screensave"])
            copy(res / "screensave" / fs::path(name.get<std::string>() + ".zip"),
                 src / "screensavers" / fs::path(name.get<std::string>() + ".zip"));
    }

    TTempDir dir;
    fs::path src = dir.Path() / "src", out = dir.Path() / "www";
    TNginx nginx{dir.Path() / "nginx", out};
};

TEST_F(PublishedCatalog, InstallsAThemeACursorSchemeAndAScreenSaver) {
    const std::string theme = "山水之间", cursor = "水晶指针", saver = "星空漫游";
    TFrmMain& window = Open();
    ASSERT_TRUE(Row(tagTheme, theme).isValid());
    EXPECT_EQ(Item(tagTheme, theme).Sha256.size(), 64u);

    Focus(tagTheme, theme);
    ASSERT_TRUE(WaitPreviews());
    std::string preview;
    ASSERT_FALSE(ReadWholeFile(PreviewFile(window.Folders(), tagTheme, Item(tagTheme, theme)),
                               preview, 1 << 20));
    EXPECT_EQ(QImage::fromData(QByteArray(preview.data(), qsizetype(preview.size()))).size(),
              QSize(400, 300));

    DoubleClick(tagTheme, theme);
    ASSERT_TRUE(WaitDownloaded(tagTheme, theme));
    ASSERT_EQ(Item(tagTheme, theme).State, dsDone);
    DoubleClick(tagTheme, theme);
    EXPECT_TRUE(Item(tagTheme, theme).Installed) << Journal();

    QTest::mouseClick(window.findChild<QWidget*>("icbCursor"), Qt::LeftButton);
    DoubleClick(tagCursor, cursor);
    ASSERT_TRUE(WaitDownloaded(tagCursor, cursor));
    ASSERT_EQ(Item(tagCursor, cursor).State, dsDone);
    DoubleClick(tagCursor, cursor);
    EXPECT_TRUE(Item(tagCursor, cursor).Installed) << Journal();

    QTest::mouseClick(window.findChild<QWidget*>("icbScreen"), Qt::LeftButton);
    DoubleClick(tagScreenSave, saver);
    ASSERT_TRUE(WaitDownloaded(tagScreenSave, saver));
    ASSERT_EQ(Item(tagScreenSave, saver).State, dsDone);
    ASSERT_TRUE(ChooseMenuItem("pmiApply"));
    EXPECT_TRUE(Item(tagScreenSave, saver).Installed) << Journal();
    EXPECT_TRUE(FMessages->Shown.empty());

    // nginx served the catalogue and the three packages.
    int packages = 0;
    for (const auto& r : nginx.Requests()) {
        EXPECT_EQ(r.Status, 200) << r.Request;
        packages += r.Request.find(".zip ") != std::string::npos;
    }
    EXPECT_EQ(packages, 3);
}
#endif

} // namespace
} // namespace velmora::test
