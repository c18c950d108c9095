// The folder-icon page end to end: the library listed at start, the icons of
// a category, the folder picker, and setting and restoring a folder's icon
// through the buttons, with their messages.
#include "app/uFolderPicker.h"
#include "controls/ButtonEdit.h"
#include "controls/ImgButton.h"
#include "install/CodePage.h"
#include "install/uFolderIcon.h"
#include "tests/app/AppFixture.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QImageWriter>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>

namespace fs = std::filesystem;

namespace velmora::test {
namespace {

// A real one-picture icon file: a red square whose top-left corner is
// transparent.
void WriteIcon(const fs::path& file, int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(QColor(220, 0, 0));
    for (int y = 0; y < size / 4; ++y)
        for (int x = 0; x < size / 4; ++x)
            image.setPixel(x, y, qRgba(0, 0, 0, 0));
    fs::create_directories(file.parent_path());
    QImageWriter writer(QString::fromStdString(file.string()), "ico");
    ASSERT_TRUE(writer.write(image)) << writer.errorString().toStdString();
}

// Clicks a button of the dialog as a person does.
void Press(QFileDialog* dialog, QDialogButtonBox::StandardButton which) {
    auto* box = dialog->findChild<QDialogButtonBox*>();
    ASSERT_TRUE(box && box->button(which));
    QTest::mouseClick(box->button(which), Qt::LeftButton);
}

class IconPage : public TAppTest {
protected:
    void SetUp() override {
        TAppTest::SetUp();
        InstallFolderPicker(*FSystem);
        const fs::path lib = IconLibraryFolder(ExeDir());
        WriteIcon(lib / "Alpha" / "b.ico", 32);
        WriteIcon(lib / "Alpha" / "a.ico", 16); // drawn up to 32
        for (const char* name : {"zeta", "beta", "Empty"})
            fs::create_directories(lib / name);
        WriteIcon(lib / "zeta" / "动物.ico", 48);
        WriteFile(lib / "notes.txt", "not a category");
        Target = FRoot->Path() / "我的 文件夹";
        fs::create_directories(Target);
    }

    TFrmMain& OpenPage() {
        TFrmMain& window = Open();
        QTest::mouseClick(window.findChild<TImgCheckButton*>("icbIcon"), Qt::LeftButton);
        return window;
    }
    template <class T> T* Child(const char* name) { return FWindow->findChild<T*>(name); }
    QStringList Categories() {
        QStringList names;
        auto* model = Child<QTreeView>("vstDirs")->model();
        for (int r = 0; r < model->rowCount(); ++r)
            names << model->index(r, 0).data().toString();
        return names;
    }
    QStringList Icons() {
        QStringList names;
        auto* list = Child<QListWidget>("lvIcons");
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
        return names;
    }
    void FocusCategory(int row) {
        auto* dirs = Child<QTreeView>("vstDirs");
        QTest::mouseClick(dirs->viewport(), Qt::LeftButton, {},
                          dirs->visualRect(dirs->model()->index(row, 0)).center());
    }
    void ClickIcon(int index) {
        auto* list = Child<QListWidget>("lvIcons");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(index)).center());
    }
    void TypeFolder(const std::string& text) {
        // Pasted: key clicks cannot type Chinese.
        auto* edit = Child<TButtonEdit>("edtDir");
        edit->clear();
        edit->insert(QString::fromStdString(text));
    }
    void Click(const char* button) {
        QTest::mouseClick(Child<QPushButton>(button), Qt::LeftButton);
    }

    fs::path Target;
};

TEST_F(IconPage, ShowsTheLibraryAndTheIconsOfTheFocusedCategory) {
    TFrmMain& window = OpenPage();
    EXPECT_EQ(Child<QStackedWidget>("pgMain")->currentIndex(), 4);
    EXPECT_EQ(Categories(), (QStringList{"Alpha", "beta", "Empty", "zeta"}));
    auto* dirs = Child<QTreeView>("vstDirs");
    EXPECT_TRUE(dirs->isHeaderHidden());
    EXPECT_EQ(dirs->currentIndex().row(), 0);
    EXPECT_TRUE(dirs->selectionModel()->isRowSelected(0, {}));
    EXPECT_EQ(Icons(), (QStringList{"a.ico", "b.ico"}));

    // 32 x 32 on white, whatever size the file holds.
    ASSERT_EQ(window.IconImages().size(), 2u);
    for (const QImage& icon : window.IconImages()) {
        EXPECT_EQ(icon.size(), QSize(32, 32));
        EXPECT_EQ(QColor(icon.pixel(1, 1)), QColor(Qt::white));
        EXPECT_EQ(QColor(icon.pixel(20, 20)), QColor(220, 0, 0));
    }
    FocusCategory(2);
    EXPECT_TRUE(Icons().isEmpty());
    FocusCategory(3);
    EXPECT_EQ(Icons(), QStringList{"动物.ico"});

    // The wallpaper window has a Label1 of its own: look on this page.
    QWidget* page = Child<TButtonEdit>("edtDir")->parentWidget();
    EXPECT_EQ(page->findChild<QLabel*>("Label1", Qt::FindDirectChildrenOnly)->text(),
              "指定文件夹：");
    EXPECT_EQ(Child<QPushButton>("btnSetIcon")->text(), "设置图标");
    EXPECT_EQ(Child<QPushButton>("btnRestoreIcon")->text(), "恢复默认图标");
    EXPECT_EQ(Child<QWidget>("pnlDirs")->width(), 185);
    EXPECT_TRUE(FMessages->Shown.empty());
}

TEST_F(IconPage, AnIconFileThatDoesNotLoadEndsTheListWithItsError) {
    const fs::path lib = IconLibraryFolder(ExeDir());
    fs::remove_all(lib / "Alpha");
    WriteIcon(lib / "Alpha" / "1.ico", 32);
    WriteFile(lib / "Alpha" / "2.ico", "not an icon");
    WriteIcon(lib / "Alpha" / "3.ico", 32);
    OpenPage();
    EXPECT_EQ(Icons(), QStringList{"1.ico"});
    ASSERT_EQ(FMessages->Texts(), std::vector<std::string>{"Icon image is not valid"});
    EXPECT_EQ(FMessages->Shown[0].Kind, mkError);
}

TEST_F(IconPage, SetAndRestoreThroughTheButtons) {
    OpenPage();
    FocusCategory(3);
    ClickIcon(0);
    TypeFolder(std::string(" ").append(Target.string()).append("/"));
    Click("btnSetIcon");
    EXPECT_EQ(FMessages->Texts(), std::vector<std::string>{MsgSetIconDone});
    const std::string icon = (ExeDir() / "cache" / "icons" / "zeta" / "动物.ico").string();
    EXPECT_EQ(ReadFile(Target / "desktop.ini"),
              Utf8ToCp936("[.ShellClassInfo]\r\nIconFile=" + icon + "\r\nIconIndex=0\r\n"));
    EXPECT_EQ(FSystem->GetFileAttributes(Target / "desktop.ini"), faHidden);
    EXPECT_TRUE(FSystem->GetFileAttributes(Target) & faSysFile);
    EXPECT_NE(Journal().find("SHChangeNotify event=0x8000000 item=" + Target.string() + "/"),
              std::string::npos);

    FMessages->Shown.clear();
    Click("btnRestoreIcon");
    EXPECT_EQ(FMessages->Texts(), std::vector<std::string>{MsgRestoreIconDone});
    EXPECT_FALSE(fs::exists(Target / "desktop.ini"));
    EXPECT_TRUE(FSystem->GetFileAttributes(Target) & faSysFile);
}

TEST_F(IconPage, RefusalsAndErrorsShowTheirMessages) {
    OpenPage();
    auto* edit = Child<TButtonEdit>("edtDir");
    Child<QPushButton>("btnSetIcon")->setFocus();

    TypeFolder((FRoot->Path() / "missing").string());
    Child<QPushButton>("btnSetIcon")->setFocus();
    Click("btnSetIcon");
    EXPECT_EQ(FMessages->Texts(), std::vector<std::string>{MsgFolderMissing});
    EXPECT_EQ(FWindow->focusWidget(), edit);

    FMessages->Shown.clear();
    TypeFolder(Target.string());
    Click("btnSetIcon"); // no icon selected yet
    EXPECT_EQ(FMessages->Texts(), std::vector<std::string>{MsgChooseIcon});

    // An existing read-only desktop.ini: the create error reaches the default handler.
    FMessages->Shown.clear();
    WriteFile(Target / "desktop.ini", "theirs");
    ASSERT_TRUE(FSystem->SetFileAttributes(Target / "desktop.ini", faReadOnly));
    ClickIcon(1);
    Click("btnSetIcon");
    ASSERT_EQ(FMessages->Shown.size(), 1u);
    EXPECT_EQ(FMessages->Shown[0].Kind, mkError);
    EXPECT_NE(FMessages->Shown[0].Text.find("Cannot create file"), std::string::npos);
    EXPECT_EQ(ReadFile(Target / "desktop.ini"), "theirs");
}

TEST_F(IconPage, ThePickerPreselectsTheFolderInTheField) {
    OpenPage();
    auto* edit = Child<TButtonEdit>("edtDir");
    auto openPicker = [&](std::function<void(QFileDialog*)> answer) {
        bool answered = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog);
            EXPECT_EQ(dialog->objectName(), FolderDialogName);
            EXPECT_EQ(dialog->windowTitle(), "指定图标所在的文件夹");
            answer(dialog);
            answered = true;
        });
        QTest::mouseClick(edit->RightButton().Glyph(), Qt::LeftButton);
        EXPECT_TRUE(answered);
    };

    TypeFolder(std::string("  ").append(Target.string()).append("/  "));
    openPicker([&](QFileDialog* dialog) {
        ASSERT_EQ(dialog->selectedFiles().size(), 1);
        EXPECT_EQ(QDir::toNativeSeparators(dialog->selectedFiles().front()).toStdString(),
                  Target.string());
        Press(dialog, QDialogButtonBox::Open);
    });
    EXPECT_EQ(edit->text().toStdString(), Target.string());

#ifdef _WIN32
    // The program on Windows picks folders with the shell's own dialog; this
    // one stands in for it here, and under Wine a name typed into it does not
    // come back from it.
    GTEST_SKIP() << "a folder typed into the stand-in dialog (velmora.exe uses the shell's)";
#endif
    // Another folder typed into the dialog, then a cancelled picker.
    const fs::path other = FRoot->Path() / "other";
    fs::create_directories(other);
    openPicker([&](QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(name);
        // Typed with the dialog active, so the typed name replaces the preselection.
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
        name->setFocus();
        name->selectAll();
        QTest::keyClicks(name, QString::fromStdString(other.string()));
        Press(dialog, QDialogButtonBox::Open);
    });
    EXPECT_EQ(edit->text().toStdString(), other.string());
    openPicker([](QFileDialog* dialog) { Press(dialog, QDialogButtonBox::Cancel); });
    EXPECT_EQ(edit->text().toStdString(), other.string());
}

} // namespace
} // namespace velmora::test
