// The reference for the program's memory at rest: a bare window of the main
// window's size with one browser pane filling it, showing the page at URL.
//   bench_browser URL
// It stays open until it is ended (bench_memory.sh measures it, then ends it).
#include <QApplication>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    QWidget window;
    window.setFixedSize(746, 466);
    window.setWindowTitle("Velmora");
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new QWebEngineView(&window);
    layout->addWidget(view);
    view->load(QUrl(QString::fromLocal8Bit(argv[1])));
    window.show();
    return app.exec();
}
