// A page of 15 thumbnails: the wallpaper window's loader filling its grid
// against curl fetching the same 15 files one after another, from the same
// in-process server on 127.0.0.1, in the same run.
//   bench_thumbnails [RUNS]
// Prints the median of each and the grid's paint passes per thumbnail.
#include "app/uQtDispatcher.h"
#include "platform/SimulatedSystem.h"
#include "tools/StaticServer.h"
#include "controls/PaintPanel.h"
#include "app/wallpaper/uFrmWallpaper.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace velmora;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Thumbnail-sized JPEGs with some detail, as search services serve them.
void WriteThumbnails(const QString& dir) {
    for (int n = 0; n < 15; ++n) {
        QImage image(200, 150, QImage::Format_RGB32);
        QPainter p(&image);
        for (int y = 0; y < 150; y += 10)
            for (int x = 0; x < 200; x += 10)
                p.fillRect(x, y, 10, 10,
                           QColor((x * 7 + n * 30) % 256, (y * 5) % 256, (x + y) % 256));
        p.end();
        image.save(dir + QString("/t%1.jpg").arg(n), "JPEG", 85);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    QTemporaryDir site, exe, root;
    WriteThumbnails(site.path());
    TStaticServer server(site.path().toStdString());
    if (!server.Start())
        return 2;
    std::vector<std::string> urls;
    for (int n = 0; n < 15; ++n)
        urls.push_back(server.BaseUrl() + "/t" + std::to_string(n) + ".jpg");

    std::string curl = "curl -s";
    for (const std::string& u : urls)
        curl += " -o /dev/null " + u;

    auto system = CreateSimulatedSystem(root.path().toStdString());
    auto dispatcher = std::make_shared<TQtDispatcher>();
    TWallpaperSetup setup;
    setup.ExePath = exe.path().toStdString();
    setup.System = system.get();
    setup.Dispatcher = dispatcher;
    TFrmWallpaper window(setup);
    window.pnlAD2->hide(); // as the first search does, so the grid is seen
    window.show();
    QApplication::processEvents();

    std::vector<double> ours, theirs;
    int paints = 0;
    for (int r = 0; r < runs; ++r) {
        auto t0 = Clock::now();
        if (std::system(curl.c_str()) != 0)
            return 3;
        theirs.push_back(Ms(t0, Clock::now()));

        for (const std::string& u : urls)
            window.SearchManager().AddResult("", u, u, false);
        TResultGrid& grid = *window.vstResult;
        QApplication::processEvents(); // the grid is idle before the clock starts
        const int before = grid.PaintCount();
        const int arrived = grid.ThumbnailCount();
        t0 = Clock::now();
        window.SearchManager().LoadInto();
        const auto loader = window.GridManager().Loader();
        // Until the last thumbnail is in and painted (the timer only keeps the
        // wait from hanging should a thumbnail fail).
        QTimer tick;
        tick.start(50);
        while (grid.ThumbnailCount() - arrived < 15 && !loader->Finished())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QApplication::processEvents();
        ours.push_back(Ms(t0, Clock::now()));
        if (std::getenv("BENCH_VERBOSE"))
            std::printf("run %d: loader %.1f ms, curl %.1f ms\n", r, ours.back(), theirs.back());
        paints = grid.PaintCount() - before;
        // The next page starts after this loader has ended, or its LoadInto
        // would wait for it.
        while (!loader->Finished())
            QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    const double o = Median(ours), t = Median(theirs);
    std::printf("15 thumbnails: loader %.1f ms, curl %.1f ms, ratio %.2f (limit 1.20); "
                "%d grid paints for 15 thumbnails and the new rows\n",
                o, t, o / t, paints);
    dispatcher->Shutdown();
    return 0;
}
