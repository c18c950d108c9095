#pragma once
// The pieces the program's windows are drawn from: the built-in pictures, the
// picture title bars and the framed white panels around lists and previews.
#include "controls/Imaging.h"
#include "controls/PubFunc.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

class QWidget;

namespace velmora {

class TPaintPanel;

// The grey of the page frame and the silver of the panel frames.
inline const QColor FrameGrey(0x70, 0x70, 0x70);
inline const QColor Silver(192, 192, 192);

// The font of the program's window text, as Windows draws it: no kerning or
// ligatures (Chinese and Latin text need no shaping), which also spares the
// text shaper every caption.
QFont InterfaceFont(const QString& family, int pixelSize);
// The font in bold drawn from its regular face, as Windows draws 宋体, which
// has no bold face: the bold face of the CJK fonts standing in for it would
// be several more megabytes of font in memory for a few group titles.
QFont EmboldenedFont(QFont font);

// A picture built into the program (resources/velmora.qrc, ":/velmora/<name>");
// empty when there is none of that name.
QImage ResourceImage(const QString& name);
TPicture ResourcePicture(const QString& name);

// A title bar: caption on the left over a built-in picture.
TPaintPanel* TitleBar(QWidget* parent, const QRect& geometry, const QString& caption,
                      const QString& picture, THorzStretchType stretch);

// A white panel with a one-pixel silver frame.
TPaintPanel* FramePanel(QWidget* parent, const QRect& geometry);

} // namespace velmora
