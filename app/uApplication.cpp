#include "app/uApplication.h"

#include "controls/Imaging.h"
#include "install/uPubFunc.h"

#include <QFont>
#include <QMessageBox>

#include <exception>

namespace velmora {

namespace {

// "宋体" is the font of every window; machines without it get a CJK font
// that has the same characters.
void SubstituteChineseFonts() {
    const QStringList cjk = {"Noto Sans CJK SC",    "Noto Serif CJK SC", "WenQuanYi Zen Hei",
                             "WenQuanYi Micro Hei", "AR PL UMing CN",    "Droid Sans Fallback"};
    for (const char* name : {"宋体", "SimSun", "Tahoma"}) {
        const QString family = QString::fromUtf8(name);
        if (QFont(family).exactMatch())
            continue;
        QFont::insertSubstitutions(family, cjk);
    }
}

class TBoxMessages : public IMessageSink {
public:
    int Show(const TMessageRequest& request) override {
        QMessageBox::Icon icon = QMessageBox::Information;
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;
        switch (request.Kind) {
        case mkQuestion:
            icon = QMessageBox::Question;
            buttons = QMessageBox::Yes | QMessageBox::No;
            break;
        case mkWarning:
            icon = QMessageBox::Warning;
            break;
        case mkError:
            icon = QMessageBox::Critical;
            break;
        default:
            break;
        }
        QMessageBox box(icon, QString::fromStdString(request.Title),
                        QString::fromStdString(request.Text), buttons,
                        QApplication::activeWindow());
        const int answer = box.exec();
        if (request.Kind == mkQuestion)
            return answer == QMessageBox::Yes ? IDYES : IDNO;
        return IDOK;
    }
};

} // namespace

IMessageSink& WindowMessageSink() {
    static TBoxMessages sink;
    return sink;
}

void PrepareApplication() {
    TPictureFormats::Instance(); // the picture kinds are known before any window
    SubstituteChineseFonts();
}

void ShowUnhandledError(const char* text) {
    ShowMessageBox(text, "Velmora", mkError);
}

TVelmoraApplication::TVelmoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Velmora");
    PrepareApplication();
}

bool TVelmoraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowUnhandledError(error.what());
    } catch (...) {
        ShowUnhandledError("Unknown error");
    }
    return false;
}

} // namespace velmora
