#include "tests/app/AppFixture.h"

#include "platform/history/RecordingSystem.h"

#include <QAbstractItemModelTester>
#include <QAbstractItemView>
#include <QAction>
#include <QStackedWidget>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#ifdef _WIN32
#include <QProcess>
#else
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace velmora::test {

// Runs a program and waits for it, at most a minute. Not through QProcess:
// it starts the child in this process's memory (vfork-like), and what the
// child runs before exec goes through the ThreadSanitizer runtime on the
// calling thread's state; from then on the sanitizer no longer sees that
// thread's locks and reports every later hand-over to a worker as a race.
// posix_spawn's child makes no intercepted calls.
#ifdef _WIN32
// Windows has no sanitizer runtime to upset: Qt starts the child.
int RunChild(std::vector<std::string> args) {
    if (args.empty())
        return -1;
    QStringList arguments;
    for (std::size_t i = 1; i < args.size(); ++i)
        arguments << QString::fromStdString(args[i]);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QString::fromStdString(args[0]), arguments);
    if (!child.waitForStarted(10000))
        return -1;
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished(5000);
        return -1;
    }
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}
#else
int RunChild(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    for (int waited = 0;; waited += 10) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 || waited >= 60000) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
#endif

const fs::path& DemoCatalog() {
    static TTempDir dir;
    static const fs::path path = []() -> fs::path {
        // Made beforehand by the caller (velmora-demo FOLDER): on Windows,
        // where the demo generator is not built, the only way.
        if (const char* given = std::getenv("VELMORA_DEMO_DIR"); given && *given) {
            const fs::path demo(given);
            if (!fs::is_regular_file(demo / "softdata/win7/config.txt"))
                ADD_FAILURE() << "VELMORA_DEMO_DIR holds no demo catalogue: " << demo.string();
            return demo;
        }
#ifdef VELMORA_DEMO_EXE
        const fs::path out = dir.Path() / "demo";
        if (RunChild({VELMORA_DEMO_EXE, out.string()}) != 0)
            ADD_FAILURE() << "velmora-demo failed (its messages are above)";
        return out;
#else
        ADD_FAILURE() << "set VELMORA_DEMO_DIR to a folder made by the Linux `velmora-demo FOLDER`";
        return dir.Path() / "demo";
#endif
    }();
    return path;
}

void TAppTest::SetUp() {
    FExe = std::make_unique<TTempDir>();
    FRoot = std::make_unique<TTempDir>();
    FSystem = CreateSimulatedSystem(FRoot->Path());
    FSystem->SetUrlOpener([this](const std::string& url) {
        FOpenedUrls.push_back(url);
        return true;
    });
    FServer = std::make_unique<TStaticServer>(DemoCatalog());
    ASSERT_TRUE(FServer->Start());
    FMessages = std::make_unique<TRecordingMessages>();
}

void TAppTest::TearDown() {
    FWindow.reset();
    FServer->Stop();
}

TFrmMain& TAppTest::Open(int updaterDelayMs, QString updater) {
    TFrmMain& window = Show(updaterDelayMs, std::move(updater));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.CatalogLoading(); }, 30000));
    return window;
}

bool TAppTest::WaitPreviews() {
    return QTest::qWaitFor([&] { return FWindow->PreviewsPending() == 0; }, 20000);
}

TFrmMain& TAppTest::Show(int updaterDelayMs, QString updater) {
    TMainWindowSetup setup;
    setup.ExePath = FExe->Path() / "";
    setup.ServerBase = FServerBase.empty() ? FServer->BaseUrl() : FServerBase;
    setup.System = FHistory ? static_cast<ISystem*>(FHistory) : FSystem.get();
    setup.History = FHistory;
    setup.UpdaterDelayMs = updaterDelayMs;
    setup.UpdaterLibrary = updater;
    setup.CatalogLimitMs = FCatalogLimitMs;
    FWindow = std::make_unique<TFrmMain>(setup);
    // The live models stay consistent while the catalogue fills them and
    // workers update their rows.
    for (int tag : {tagTheme, tagCursor, tagScreenSave})
        new QAbstractItemModelTester(FWindow->ModelOfTag(tag),
                                     QAbstractItemModelTester::FailureReportingMode::Fatal,
                                     FWindow->ModelOfTag(tag));
    FWindow->show();
    // The pages not seen at first come right after the first paint (unless
    // the window has already given up for want of a catalogue).
    if (FWaitForPages) {
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return FWindow->PagesBuilt() || FWindow->Terminated(); }, 10000));
    }
    return *FWindow;
}

QModelIndex TAppTest::Row(int tag, const std::string& name) {
    TCatalogTree* list = FWindow->ListOfTag(tag);
    TCatalogModel* model = list->Model();
    for (TCatalogRow row = 0; row < TCatalogRow(model->RowCount()); ++row)
        if (model->Item(row)->Name == name && !model->IsGroup(row)) {
            const QModelIndex index = model->IndexOf(row);
            if (index.parent().isValid())
                list->expand(index.parent());
            return index;
        }
    return {};
}

void TAppTest::Focus(int tag, const std::string& name) {
    const QModelIndex index = Row(tag, name);
    ASSERT_TRUE(index.isValid()) << name;
    TCatalogTree* list = FWindow->ListOfTag(tag);
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
}

void TAppTest::DoubleClick(int tag, const std::string& name) {
    const QModelIndex index = Row(tag, name);
    ASSERT_TRUE(index.isValid()) << name;
    TCatalogTree* list = FWindow->ListOfTag(tag);
    list->scrollTo(index);
    const QPoint at = list->visualRect(index).center();
    // A double-click as the system delivers it: press, release, double-click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

::testing::AssertionResult TAppTest::ChooseMenuItem(const char* action) {
    auto* pages = FWindow->findChild<QStackedWidget*>("pgMain");
    TCatalogTree* list = FWindow->ListOfPage(pages->currentIndex());
    if (!list)
        return ::testing::AssertionFailure() << "page " << pages->currentIndex() << " has no list";
    if (!FWindow->vstThemeListContextPopup(list))
        return ::testing::AssertionFailure() << "the menu does not open on the focused row";
    auto* item = FWindow->findChild<QAction*>(action);
    if (!item)
        return ::testing::AssertionFailure() << "the menu has no " << action;
    if (!item->isEnabled())
        return ::testing::AssertionFailure() << action << " is disabled";
    item->trigger();
    return ::testing::AssertionSuccess();
}

TCatalogItem& TAppTest::Item(int tag, const std::string& name) {
    TCatalogModel* model = FWindow->ListOfTag(tag)->Model();
    return *model->Item(model->RowOf(Row(tag, name)));
}

QString TAppTest::Status(int tag, const std::string& name) {
    return Row(tag, name).siblingAtColumn(TCatalogModel::colStatus).data().toString();
}

bool TAppTest::WaitDownloaded(int tag, const std::string& name) {
    return QTest::qWaitFor([&] { return Item(tag, name).State != dsDownloading; }, 20000);
}

std::string TAppTest::Journal() const {
    std::string all;
    for (const std::string& line : FSystem->Journal())
        all += line + "\n";
    return all;
}

fs::path TAppTest::PackagePath(int tag, const std::string& name) {
    return PackageFile(FWindow->Folders(), tag, Item(tag, name));
}

} // namespace velmora::test
