#pragma once
// A one-line edit whose text area is a settable rectangle inside the field,
// with a hint text shown while the field is empty and unfocused.

#include "controls/ControlTypes.h"

#include <QFont>
#include <QLineEdit>

#include <cstdint>
#include <functional>

namespace velmora {

class TCustomEditEx : public QLineEdit {
    Q_OBJECT
public:
    explicit TCustomEditEx(QWidget* parent = nullptr);

    QString HintText() const { return FHintText; }
    void SetHintText(const QString& text);
    QFont HintTextFont() const { return FHintTextFont; }
    void SetHintTextFont(const QFont& font);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment alignment);
    std::uint16_t PaddingWidth() const { return FPaddingWidth; }
    void SetPaddingWidth(std::uint16_t width);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int width);

    // The field's client area: inside the frame when there is one.
    QRect ClientRect() const;
    // Where the text goes, in widget coordinates.
    QRect EditRect() const { return FEditRect; }
    virtual void UpdateEditRect();

    // Called before the hint is drawn; clearing enableAfterPaint keeps it away.
    std::function<void(TCustomEditEx* sender, QPainter& canvas, bool& enableAfterPaint)>
        OnPaintHintText;
    // Sees every typed character first, Enter included (as '\r'); setting the
    // key to 0 swallows it. Enter never becomes a line break.
    std::function<void(TCustomEditEx* sender, QChar& key)> OnKeyPress;

protected:
    void SetEditRect(QRect rect);
    int BarHeight() const;

    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool HintShown() const;

    QString FHintText;
    QFont FHintTextFont;
    TAlignment FAlignment = taLeftJustify;
    std::uint16_t FPaddingWidth = 0;
    int FBorderWidth = 0;
    QRect FEditRect;
};

} // namespace velmora
