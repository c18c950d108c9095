#pragma once
// The application object: sets up what every window needs before the first is
// made, and is the one place that catches an error escaping an event handler.
#include <QApplication>

namespace velmora {

class TVelmoraApplication : public QApplication {
    Q_OBJECT
public:
    TVelmoraApplication(int& argc, char** argv);

    // The default error handler: an exception that escapes an event handler
    // is shown in a message box with its text, and the event loop goes on.
    bool notify(QObject* receiver, QEvent* event) override;
};

// The picture kinds and fonts the windows rely on. Part of the application
// object's set-up; callable on its own for programs that make their own.
void PrepareApplication();

// Shows an error's text the way the default handler does.
void ShowUnhandledError(const char* text);

// The message sink of the program: a modal box on the active window.
class IMessageSink;
IMessageSink& WindowMessageSink();

} // namespace velmora
