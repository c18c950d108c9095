#include "controls/ButtonEdit.h"

#include <QEnterEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

namespace velmora {

namespace {
// The shared style images: nothing fills them, so choosing a style empties a
// button's image.
const QImage& StyleImage(TButtonStyle) {
    static const QImage empty;
    return empty;
}
} // namespace

// ---- TGlyph -------------------------------------------------------------------

TGlyph::TGlyph(TCustomButtonEdit* edit, TEditButton* button)
    : QWidget(edit), FEdit(edit), FButton(button), FBrush(edit->palette().color(QPalette::Base)) {
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGlyph::SetState(TButtonState state) {
    if (state != FState) {
        FState = state;
        update();
    }
}

void TGlyph::paintEvent(QPaintEvent*) {
    if (!FButton || !FButton->Visible())
        return;
    QPainter p(this);
    const QImage& image = FButton->Image();
    const int fw = FButton->FrameWidth();
    if (!image.isNull() && fw > 0) {
        const int index = isEnabled() ? int(FState) : 3;
        p.fillRect(rect(), FBrush);
        const QRect source(index * fw, 0, fw, image.height());
        const int left = (width() - fw) / 2;
        const int top = (height() - image.height()) / 2;
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(QPoint(left, top), image, source);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        // Without an image the window would show stale pixels.
        p.fillRect(rect(), FBrush);
    }
    if (OnPaint)
        OnPaint(FEdit, p, QRect(0, 0, width(), height()), FState);
}

void TGlyph::enterEvent(QEnterEvent*) {
    SetState(bsHot);
}

void TGlyph::leaveEvent(QEvent*) {
    SetState(bsNormal);
}

void TGlyph::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !FButton)
        return;
    if (QMenu* menu = FButton->DropDownMenu()) {
        menu->popup(mapToGlobal(QPoint(0, FEdit->height())));
        return;
    }
    SetState(bsPushed);
}

void TGlyph::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !FButton)
        return;
    if (!rect().contains(event->position().toPoint()))
        return; // stays pushed until the mouse leaves
    SetState(isEnabled() ? bsHot : bsNormal);
    if (OnClick && !FButton->DropDownMenu())
        OnClick(FEdit);
}

void TGlyph::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (FButton)
        FButton->UpdatePosition();
}

void TGlyph::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (FButton)
        FButton->UpdatePosition();
}

// ---- TEditButton --------------------------------------------------------------

TEditButton::TEditButton(TCustomButtonEdit* edit, int side)
    : FEdit(edit), FSide(side), FGlyph(std::make_unique<TGlyph>(edit, this)) {
    FGlyph->resize(FWidth, FGlyph->height());
    FGlyph->hide();
}

TEditButton::~TEditButton() {
    if (FGlyph)
        FGlyph->Detach();
}

void TEditButton::Assign(const TEditButton& s) {
    if (&s == this)
        return;
    FTransparent = s.FTransparent;
    FStyle = s.FStyle;
    for (int i = 0; i < 4; ++i)
        FMargins[i] = s.FMargins[i];
    FDropDownMenu = s.FDropDownMenu;
    FAutoWidth = s.FAutoWidth;
    FWidth = s.FWidth;
    SetImage(s.FImage);
    SetEnabled(s.FEnabled);
    SetVisible(s.FVisible);
    FGlyph->resize(WindowWidth(), FGlyph->height());
    UpdatePosition();
    FEdit->UpdateEditRect();
}

int TEditButton::WindowWidth() const {
    return FGlyph->width();
}

void TEditButton::ImageChanged() {
    FFrameWidth = FImage.isNull() ? 0 : FImage.width() / 4;
    FTransparentColor = FImage.isNull() ? 0 : FImage.pixel(0, 0);
    if (FAutoWidth) {
        FGlyph->resize(FFrameWidth, FGlyph->height());
        UpdatePosition();
        FEdit->UpdateEditRect();
    }
    FGlyph->update();
}

void TEditButton::SetImage(const QImage& image) {
    FImage = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ImageChanged();
}

void TEditButton::SetWidth(int width) {
    if (FAutoWidth || width == FWidth)
        return;
    FWidth = width;
    FGlyph->resize(width, FGlyph->height());
    UpdatePosition();
    FEdit->UpdateEditRect();
}

void TEditButton::SetEnabled(bool enabled) {
    FEnabled = enabled;
    FGlyph->setEnabled(enabled);
    FGlyph->update();
}

void TEditButton::SetVisible(bool visible) {
    FVisible = visible;
    FGlyph->setVisible(visible);
    UpdatePosition();
    FEdit->UpdateEditRect();
}

void TEditButton::SetAutoWidth(bool on) {
    FAutoWidth = on;
    if (on) {
        FGlyph->resize(FFrameWidth, FGlyph->height());
        UpdatePosition();
        FEdit->UpdateEditRect();
    }
}

void TEditButton::SetStyle(TButtonStyle style) {
    if (style == FStyle)
        return;
    FStyle = style;
    FImage = StyleImage(style);
    ImageChanged();
}

void TEditButton::SetMargin(int index, int value) {
    if (index < 0 || index > 3)
        return;
    FMargins[index] = value;
    UpdatePosition();
    FEdit->UpdateEditRect();
}

void TEditButton::SetTransparent(bool on) {
    if (on == FTransparent)
        return;
    FTransparent = on;
    if (!FImage.isNull())
        FTransparentColor = FImage.pixel(0, 0);
}

void TEditButton::UpdatePosition() {
    const int w = FGlyph->width();
    const int top = TopMargin();
    const int height = std::max(0, FEdit->height() - TopMargin() - BottomMargin());
    const int left = FSide == 0 ? LeftMargin() : FEdit->width() - w - RightMargin();
    FGlyph->setGeometry(left, top, w, height);
}

// ---- TCustomButtonEdit --------------------------------------------------------

TCustomButtonEdit::TCustomButtonEdit(QWidget* parent)
    : TCustomEditEx(parent), FLeftButton(std::make_unique<TEditButton>(this, 0)),
      FRightButton(std::make_unique<TEditButton>(this, 1)) {
    UpdateEditRect();
}

TCustomButtonEdit::~TCustomButtonEdit() = default;

void TCustomButtonEdit::UpdateEditRect() {
    if (!FLeftButton || !FRightButton) {
        TCustomEditEx::UpdateEditRect();
        return;
    }
    const QRect client = ClientRect();
    int l = client.left() + 1, t = client.top();
    int r = client.left() + client.width() - 1, b = client.top() + client.height();
    if (FLeftButton->Visible())
        l = FLeftButton->LeftMargin() + l + BorderWidth() + FLeftButton->WindowWidth() +
            FLeftButton->RightMargin();
    if (FRightButton->Visible())
        r = r - BorderWidth() - FRightButton->RightMargin() - FRightButton->WindowWidth() -
            FRightButton->LeftMargin();
    const int inset = ((b - t) - BarHeight()) / 2;
    t += inset;
    b -= inset;
    SetEditRect(QRect(l, t, r - l, b - t));
}

void TCustomButtonEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    if (FLeftButton && FRightButton) {
        FLeftButton->UpdatePosition();
        FRightButton->UpdatePosition();
    }
    UpdateEditRect();
}

} // namespace velmora
