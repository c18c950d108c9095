#include "controls/ImgButton.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace velmora {

TImgControl::TImgControl(QWidget* parent) : QWidget(parent) {
    // Only the pictures are drawn: whatever lies under the button shows.
    setAttribute(Qt::WA_NoSystemBackground);
}

void TImgControl::RepaintWithParent() {
    update();
    if (FAutoRepaintParent && parentWidget())
        parentWidget()->update();
}

void TImgControl::SetState(TDisplayState state) {
    if (state == FState)
        return;
    FState = state;
    RepaintWithParent();
}

void TImgControl::DoAutoSize() {
    if (FAutoSize && FImgNormal.HasGraphic())
        resize(FImgNormal.Width(), FImgNormal.Height());
}

void TImgControl::SetImgNormal(const TPicture& p) {
    FImgNormal.Assign(p);
    DoAutoSize();
    update();
}

void TImgControl::SetImgEnter(const TPicture& p) {
    FImgEnter.Assign(p);
    update();
}

void TImgControl::SetImgDown(const TPicture& p) {
    FImgDown.Assign(p);
    update();
}

void TImgControl::SetImgDisable(const TPicture& p) {
    FImgDisable.Assign(p);
    update();
}

void TImgControl::SetImgManager(TImgManager* manager) {
    FImgManager = manager;
    RepaintWithParent();
}

void TImgControl::SetImgButtonLayout(TImgControlLayout layout) {
    if (layout != FLayout) {
        FLayout = layout;
        update();
    }
}

void TImgControl::SetSpacing(int spacing) {
    if (spacing != FSpacing) {
        FSpacing = spacing;
        update();
    }
}

void TImgControl::SetAutoSize(bool value) {
    if (value == FAutoSize)
        return;
    FAutoSize = value;
    DoAutoSize();
}

void TImgControl::SetCaption(const QString& caption) {
    if (caption != FCaption) {
        FCaption = caption;
        update();
    }
}

void TImgControl::SetFontColor(const QColor& color) {
    FFontColor = color;
    update();
}

void TImgControl::paintEvent(QPaintEvent*) {
    if (FImgManager) {
        auto take = [](TPicture& own, TPicture& shared) {
            if (shared.HasGraphic())
                own.Assign(shared);
        };
        take(FImgNormal, FImgManager->ImgNormal());
        take(FImgEnter, FImgManager->ImgEnter());
        take(FImgDown, FImgManager->ImgDown());
        take(FImgDisable, FImgManager->ImgDisable());
        take(FImgCheck, FImgManager->ImgCheck());
    }
    for (TPicture* p : {&FImgEnter, &FImgDown, &FImgDisable})
        if (!p->HasGraphic() && FImgNormal.HasGraphic())
            p->Assign(FImgNormal);

    const TPicture* chosen = &FImgNormal;
    if (!isEnabled())
        chosen = &FImgDisable;
    else if (FState == dsHot)
        chosen = &FImgEnter;
    else if (FState == dsDown)
        chosen = &FImgDown;
    else if (FState == dsChecked)
        chosen = &FImgCheck;
    if (!chosen->HasGraphic())
        return;

    const QFontMetrics fm(font());
    const int tw = FCaption.isEmpty() ? 0 : fm.horizontalAdvance(FCaption);
    const int th = FCaption.isEmpty() ? 0 : fm.height();
    const int gw = chosen->Width(), gh = chosen->Height();
    const int W = width(), H = height();

    int hs = 0, vs = 0;
    // The gap is an unsigned 16-bit amount, as stored descriptions hold it.
    const int spacing = static_cast<std::uint16_t>(FSpacing);
    if (!FCaption.isEmpty()) {
        if (FLayout == iclImgLeft || FLayout == iclImgRight)
            hs = spacing;
        else if (FLayout == iclImgTop || FLayout == iclImgBottom)
            vs = spacing;
    }
    int tx = (W - tw - hs) / 2, ty = (H - th - vs) / 2;
    int px = (W - gw - hs) / 2, py = (H - gh - vs) / 2;
    switch (FLayout) {
    case iclImgLeft:
        px = (W - gw - tw - hs) / 2;
        tx = px + gw + hs;
        break;
    case iclImgRight:
        tx = (W - gw - tw - hs) / 2;
        px = tx + tw + hs;
        break;
    case iclImgTop:
        py = (H - gh - th - vs) / 2;
        ty = py + gh + vs;
        break;
    case iclImgBottom:
        ty = (H - gh - th - vs) / 2;
        py = ty + th + vs;
        break;
    case iclImgCenter:
        break;
    }
    int offset = 0;
    if (isEnabled() && FState == dsHot)
        offset = -FOnEnterOffset;
    else if (isEnabled() && FState == dsDown)
        offset = FOnDownOffset;
    px += offset;
    py += offset;
    tx += offset;
    ty += offset;
    FPicturePos = QPoint(px, py);
    FTextPos = QPoint(tx, ty);

    QPainter p(this);
    chosen->Graphic()->Draw(p, QRect(px, py, gw, gh));
    if (!FCaption.isEmpty()) {
        p.setBrush(Qt::NoBrush);
        p.setFont(font());
        p.setPen(FFontColor);
        p.drawText(QRect(tx, ty, tw, th), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   FCaption);
    }
}

void TImgControl::Click() {
    if (OnClick)
        OnClick(this);
}

void TImgControl::enterEvent(QEnterEvent*) {
    if (isEnabled() && !FPressed && FState != dsChecked)
        SetState(dsHot);
}

void TImgControl::leaveEvent(QEvent*) {
    if (isEnabled() && !FPressed && FState != dsChecked)
        SetState(dsNormal);
}

void TImgControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    FClickPending = true;
    if (isEnabled() && FState != dsChecked) {
        FPressed = true;
        SetState(dsDown);
    }
}

void TImgControl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const bool over = rect().contains(event->position().toPoint());
    QPointer<TImgControl> self(this);
    if (FClickPending && over) {
        FClickPending = false;
        Click(); // a handler may close the window and free the button
        if (!self)
            return;
    }
    FClickPending = false;
    if (isEnabled() && FState != dsChecked) {
        FPressed = false;
        SetState(over ? dsHot : dsNormal);
    }
}

void TImgControl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    QPointer<TImgControl> self(this);
    if (OnDblClick)
        OnDblClick(this);
    if (!self)
        return;
    // The release that ends a double click is no new click.
    FClickPending = false;
    if (isEnabled() && FState != dsChecked) {
        FPressed = true;
        SetState(dsDown);
    }
}

void TImgControl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        FPressed = false;
        FClickPending = false;
        FState = dsNormal;
        RepaintWithParent();
    } else if (event->type() == QEvent::FontChange) {
        update();
    }
    QWidget::changeEvent(event);
}

void TImgCheckButton::SetChecked(bool value) {
    if (value == FChecked)
        return;
    if (QWidget* parent = parentWidget()) {
        for (QObject* child : parent->children()) {
            auto* other = qobject_cast<TImgCheckButton*>(child);
            if (other && other != this && other->FCheckGroup == FCheckGroup && other->FChecked) {
                other->FChecked = false;
                other->SetState(dsNormal);
                other->RepaintWithParent();
            }
        }
    }
    FChecked = value;
    FState = value ? dsChecked : dsNormal;
    RepaintWithParent();
}

void TImgCheckButton::Click() {
    QPointer<TImgCheckButton> self(this);
    TImgControl::Click(); // runs while the button is still unchecked
    if (!self)
        return;
    if (!FChecked)
        SetChecked(true);
    FPressed = false;
}

} // namespace velmora
