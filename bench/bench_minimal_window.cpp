// The reference for the Windows program's start-up: a plain Qt window of the
// main window's size, built the same way (static Qt, mingw-w64), shown and
// left open until it is closed.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.setFixedSize(746, 466);
    window.show();
    return app.exec();
}
