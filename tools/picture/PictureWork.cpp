// The helper's picture work, handed to the verbs before main runs. Qt's own
// messages (a missing XDG_RUNTIME_DIR, decoders' remarks on the pictures they
// read) are not the tool's: they never reach the person running it, whose
// output is the verb's result and the tool's own messages.
#include "controls/uPictureBmp.h"
#include "tools/Pictures.h"
#include "tools/picture/DesktopPicture.h"
#include "tools/picture/PublishPreview.h"

#include <QtGlobal>

namespace velmora::tool {
namespace {

void DropQtMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

TQtPictureConverter Converter;

const TPictureWork Work{DrawDesktopPicture, DisplayScreens, MakePublishPreview, Converter};

const bool Provided = [] {
    qInstallMessageHandler(DropQtMessage);
    ProvidePictures(Work);
    return true;
}();

} // namespace
} // namespace velmora::tool
