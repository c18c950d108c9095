#pragma once
// A main window on the demo catalogue: the catalogue folder that velmora-demo
// writes, served by an in-process server, a program folder and a simulated
// Windows of the test's own.
#include "app/uFrmMain.h"
#include "platform/SimulatedSystem.h"
#include "tests/support/TestSupport.h"
#include "tools/StaticServer.h"

#include <QModelIndex>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace velmora::test {

// Runs a program (argument 0 its path) and waits for it, at most a minute;
// its exit code, or -1 when it could not run or did not end.
int RunChild(std::vector<std::string> args);

// The demo catalogue folder: the one VELMORA_DEMO_DIR names, else written
// once per run by velmora-demo.
const std::filesystem::path& DemoCatalog();

class TAppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes and shows the window and waits until its catalogue is in; the
    // server must be set up before.
    TFrmMain& Open(int updaterDelayMs = 3600 * 1000, QString updater = {});
    // The same without waiting for the catalogue.
    TFrmMain& Show(int updaterDelayMs = 3600 * 1000, QString updater = {});
    // Waits until every preview asked for has its answer; false on time-out.
    bool WaitPreviews();

    // The item row of the list whose name is given (groups of the theme list
    // are opened on the way); invalid when there is none.
    QModelIndex Row(int tag, const std::string& name);
    // Focuses the row as a click does, and double-clicks it.
    void Focus(int tag, const std::string& name);
    void DoubleClick(int tag, const std::string& name);
    TCatalogItem& Item(int tag, const std::string& name);
    // Opens the list menu on the focused row of the page shown, as a right
    // click does, and chooses the entry by its name ("pmiDown", "pmiApply",
    // "pmiUnInstall"); fails when the menu does not open there or the entry
    // is missing or disabled.
    ::testing::AssertionResult ChooseMenuItem(const char* action);
    QString Status(int tag, const std::string& name);
    // Waits until the row's download has ended; false on time-out.
    bool WaitDownloaded(int tag, const std::string& name);
    std::string Journal() const;

    std::filesystem::path ExeDir() const { return FExe->Path(); }
    std::filesystem::path PackagePath(int tag, const std::string& name);

    std::unique_ptr<TTempDir> FExe, FRoot;
    std::unique_ptr<TSimulatedSystem> FSystem;
    std::unique_ptr<TStaticServer> FServer;
    std::unique_ptr<TRecordingMessages> FMessages;
    std::unique_ptr<TFrmMain> FWindow;
    std::vector<std::string> FOpenedUrls;
    // The catalogue server the window is given; empty: FServer's.
    std::string FServerBase;
    int FCatalogLimitMs = 15000;
    // When set, the window changes the desktop through this change record
    // (on the same simulated Windows) and offers restoring.
    TRecordingSystem* FHistory = nullptr;
    // Show waits until the window has built its hidden pages.
    bool FWaitForPages = true;
};

} // namespace velmora::test
