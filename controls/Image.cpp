#include "controls/Image.h"

#include <QMouseEvent>
#include <QPainter>

namespace velmora {

TImage::TImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    // A new frame of an animation, or a new picture, shows at once.
    FPicture.OnChange = [this] { update(); };
}

void TImage::SetStretch(bool value) {
    FStretch = value;
    update();
}

void TImage::SetCenter(bool value) {
    FCenter = value;
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    const TGraphic* graphic = FPicture.Graphic();
    if (!graphic || graphic->Empty())
        return;
    QPainter painter(this);
    QRect target(0, 0, graphic->Width(), graphic->Height());
    if (FStretch)
        target = rect();
    else if (FCenter)
        target.moveCenter(rect().center());
    graphic->Draw(painter, target);
}

void TImage::mouseDoubleClickEvent(QMouseEvent* event) {
    QWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick(this);
}

} // namespace velmora
