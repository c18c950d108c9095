// Start-up and responsiveness of the main window.
//   bench_window minimal          a plain 746 x 466 Qt window
//   bench_window label            the same with one line of Chinese text in the
//                                 program's font: what drawing text adds
//   bench_window catalog DIR      the main window on the catalogue folder DIR
//   bench_window silent DIR       the main window on a server that accepts and
//                                 never answers (DIR/softdata/win7/config.txt is
//                                 the local copy it would fall back to)
// and, after any of them, --windows W: the simulated Windows folder (made
// when missing; by default a new one in the run's scratch folder).
// Every mode starts the same way: the application object, an in-process
// server on 127.0.0.1, the simulated Windows, one window. It prints, as
// name=value on one line:
//   painted_ns  wall clock (CLOCK_REALTIME, ns) when the first paint of the
//               window has been done: the caller subtracts its launch time
//   cpu_ms      processor time the process had used by then (all threads),
//               a figure that a busy machine disturbs less
//   filled_ms   from that paint until the catalogue lists are filled
//   gap_ms      the longest delay of a 5 ms timer past its due time, from the
//               first paint until the end of the run (the catalogue filled, or
//               2 s for the silent server)
//   close_ms    how long closing the window took (it waits for its workers)
#include "app/uApplication.h"
#include "app/uFrmMain.h"
#include "platform/SimulatedSystem.h"
#include "tools/StaticServer.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace velmora;

namespace {

double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

long long RealtimeNs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Notes when a widget's first paint has been done: a zero timer posted from
// the paint event runs once the whole window has been painted and flushed.
class TFirstPaint : public QObject {
public:
    explicit TFirstPaint(QWidget* window) { window->installEventFilter(this); }
    long long PaintedNs = 0;
    double PaintedCpuMs = 0; // processor time of the whole process until then
    QElapsedTimer Since;     // started at the first paint

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !FSeen) {
            FSeen = true;
            QTimer::singleShot(0, this, [this] {
                PaintedNs = RealtimeNs();
                PaintedCpuMs = CpuMs();
                Since.start();
            });
        }
        return false;
    }

private:
    bool FSeen = false;
};

// A timer due every 5 ms that records how late it fires.
class TGapMeter : public QObject {
public:
    explicit TGapMeter(const TFirstPaint& paint) : FPaint(paint) {
        FTimer.setTimerType(Qt::PreciseTimer);
        FTimer.setInterval(Interval);
        connect(&FTimer, &QTimer::timeout, this, [this] { Tick(); });
        FTimer.start();
        FLast.start();
    }
    double LongestMs = 0;

private:
    static constexpr int Interval = 5;
    void Tick() {
        const double since = FLast.nsecsElapsed() / 1e6;
        FLast.restart();
        if (FPaint.PaintedNs != 0 && since - Interval > LongestMs)
            LongestMs = since - Interval;
    }
    const TFirstPaint& FPaint;
    QTimer FTimer;
    QElapsedTimer FLast;
};

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    fs::path windows;
    if (args.size() >= 2 && args[args.size() - 2] == "--windows") {
        windows = args.back();
        args.resize(args.size() - 2);
    }
    const std::string mode = args.empty() ? "" : args[0];
    const bool plain = mode == "minimal" || mode == "label";
    const bool known = plain || mode == "catalog" || mode == "silent";
    if (!known || args.size() != (plain ? 1u : 2u)) {
        std::fprintf(stderr, "usage: bench_window minimal | label | catalog DIR | silent DIR"
                             " [--windows FOLDER]\n");
        return 2;
    }
    const fs::path root = plain ? fs::path() : fs::path(args[1]);

    TVelmoraApplication app(argc, argv);
    const fs::path work =
        fs::temp_directory_path() / ("velmora-bench-window-" + std::to_string(::getpid()));
    fs::create_directories(work / "exe");
    TStaticServer server(plain ? work : root);
    if (mode == "silent")
        server.Hold("/softdata/win7/config.txt");
    if (!server.Start()) {
        std::fprintf(stderr, "bench_window: no server\n");
        return 1;
    }
    if (mode == "silent")
        fs::copy_file(root / "softdata/win7/config.txt", work / "exe/config.txt");

    std::unique_ptr<QWidget> window;
    const std::unique_ptr<TSimulatedSystem> system =
        CreateSimulatedSystem(windows.empty() ? work / "windows" : windows);
    TFrmMain* frmMain = nullptr;
    if (plain) {
        window = std::make_unique<QWidget>();
        window->setFixedSize(746, 466);
        window->setWindowTitle("Velmora");
        if (mode == "label") {
            QFont font(QString::fromUtf8("宋体"));
            font.setPixelSize(12);
            window->setFont(font);
            auto* label = new QLabel(QString::fromUtf8("主题列表（双击下载，下载完后双击应用）"),
                                     window.get());
            label->setGeometry(10, 10, 400, 20);
        }
    } else {
        TMainWindowSetup setup;
        setup.ExePath = work / "exe" / "";
        setup.ServerBase = server.BaseUrl();
        setup.System = system.get();
        auto main = std::make_unique<TFrmMain>(setup);
        frmMain = main.get();
        window = std::move(main);
    }
    TFirstPaint paint(window.get());
    TGapMeter gaps(paint);
    window->show();

    double filledMs = -1;
    QTimer finish;
    finish.setInterval(1);
    QObject::connect(&finish, &QTimer::timeout, [&] {
        if (paint.PaintedNs == 0)
            return;
        const bool loading = frmMain && frmMain->CatalogLoading();
        if (mode == "silent" ? paint.Since.elapsed() >= 2000 : !loading) {
            if (frmMain && mode != "silent")
                filledMs = paint.Since.nsecsElapsed() / 1e6;
            app.quit();
        }
    });
    finish.start();
    app.exec();

    QElapsedTimer closing;
    closing.start();
    window.reset();
    const double closeMs = closing.nsecsElapsed() / 1e6;
    server.Stop();
    std::error_code ec;
    fs::remove_all(work, ec);
    std::printf("painted_ns=%lld cpu_ms=%.1f filled_ms=%.1f gap_ms=%.1f close_ms=%.1f\n",
                paint.PaintedNs, paint.PaintedCpuMs, filledMs, gaps.LongestMs, closeMs);
    return 0;
}
