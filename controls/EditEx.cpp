#include "controls/EditEx.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace velmora {

TCustomEditEx::TCustomEditEx(QWidget* parent) : QLineEdit(parent), FHintTextFont(font()) {
    UpdateEditRect();
}

void TCustomEditEx::SetHintText(const QString& text) {
    FHintText = text;
    if (this->text().trimmed().isEmpty())
        update();
}

void TCustomEditEx::SetHintTextFont(const QFont& font) {
    FHintTextFont = font;
    if (text().trimmed().isEmpty())
        update();
}

void TCustomEditEx::SetAlignment(TAlignment alignment) {
    FAlignment = alignment;
    setAlignment(alignment == taLeftJustify    ? Qt::AlignLeft
                 : alignment == taRightJustify ? Qt::AlignRight
                                               : Qt::AlignHCenter);
}

void TCustomEditEx::SetPaddingWidth(std::uint16_t width) {
    FPaddingWidth = width;
    UpdateEditRect();
}

void TCustomEditEx::SetBorderWidth(int width) {
    FBorderWidth = width;
    UpdateEditRect();
}

QRect TCustomEditEx::ClientRect() const {
    if (!hasFrame())
        return rect();
    QStyleOptionFrame option;
    initStyleOption(&option);
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    return rect().adjusted(frame, frame, -frame, -frame);
}

int TCustomEditEx::BarHeight() const {
    return QFontMetrics(font()).size(0, "|").height();
}

void TCustomEditEx::SetEditRect(QRect r) {
    FEditRect = r;
    // The line edit places its text inside its contents rectangle less the
    // margins; it centres the line vertically itself.
    const QRect client = ClientRect();
    const int left = std::max(0, r.left() - client.left());
    const int right = std::max(0, client.right() - r.right());
    setTextMargins(left, 0, right, 0);
    update();
}

void TCustomEditEx::UpdateEditRect() {
    const QRect client = ClientRect();
    int l = client.left() + 1, t = client.top();
    int r = client.left() + client.width() - 1, b = client.top() + client.height();
    l += FPaddingWidth;
    r -= FPaddingWidth;
    const int inset = ((b - t) - BarHeight()) / 2;
    t += inset;
    b -= inset;
    SetEditRect(QRect(l, t, r - l, b - t));
}

bool TCustomEditEx::HintShown() const {
    return !hasFocus() && !FHintText.trimmed().isEmpty() && text().trimmed().isEmpty();
}

void TCustomEditEx::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    if (!HintShown())
        return;
    QPainter p(this);
    p.setFont(FHintTextFont);
    bool enable = true;
    if (OnPaintHintText)
        OnPaintHintText(this, p, enable);
    if (!enable)
        return;
    const QRect client = ClientRect();
    const QFontMetrics fm(p.font());
    const int y = (client.height() - fm.size(0, "|").height()) / 2;
    p.setBrush(Qt::NoBrush);
    p.drawText(
        QRect(client.left() + 3, client.top() + y, client.width() - 3, fm.size(0, "|").height()),
        Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, FHintText);
}

void TCustomEditEx::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QChar key = enter ? QChar('\r') : (event->text().isEmpty() ? QChar() : event->text().at(0));
    if (OnKeyPress && !key.isNull()) {
        OnKeyPress(this, key);
        if (key.isNull()) {
            event->accept();
            return;
        }
    }
    // The line edit never inserts a line break; Enter goes on to the dialog.
    QLineEdit::keyPressEvent(event);
}

void TCustomEditEx::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    update();
}

void TCustomEditEx::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    update();
}

void TCustomEditEx::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    UpdateEditRect();
}

void TCustomEditEx::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateEditRect();
}

} // namespace velmora
