#pragma once
// An edit field with an optional picture button embedded at each end.

#include "controls/EditEx.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

#include <QMenu>

namespace velmora {

enum TButtonStyle { bsFind, bsCustom };
enum TButtonState { bsNormal = 0, bsHot = 1, bsPushed = 2 };

class TCustomButtonEdit;
class TEditButton;

// The window of an embedded button.
class TGlyph : public QWidget {
    Q_OBJECT
public:
    TGlyph(TCustomButtonEdit* edit, TEditButton* button);

    TButtonState State() const { return FState; }
    // The button is going away: the window must not reach it any more.
    void Detach() { FButton = nullptr; }
    // Sender is the edit, not the button.
    std::function<void(QObject* sender)> OnClick;
    std::function<void(QObject* sender, QPainter& canvas, const QRect& r, TButtonState state)>
        OnPaint;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void SetState(TButtonState state);
    TCustomButtonEdit* FEdit;
    TEditButton* FButton;
    TButtonState FState = bsNormal;
    QColor FBrush;
};

// One embedded button: side 0 is the left one, side 1 the right one. Its image
// holds four frames side by side: normal, hot, pushed, disabled.
class TEditButton {
public:
    TEditButton(TCustomButtonEdit* edit, int side);
    ~TEditButton();
    TEditButton(const TEditButton&) = delete;
    TEditButton& operator=(const TEditButton&) = delete;

    // Copies the settings of another button (not its window or events).
    void Assign(const TEditButton& source);

    const QImage& Image() const { return FImage; }
    void SetImage(const QImage& image);
    int Width() const { return FWidth; }
    void SetWidth(int width);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);
    bool AutoWidth() const { return FAutoWidth; }
    void SetAutoWidth(bool on);
    QMenu* DropDownMenu() const { return FDropDownMenu; }
    void SetDropDownMenu(QMenu* menu) { FDropDownMenu = menu; }
    TButtonStyle Style() const { return FStyle; }
    void SetStyle(TButtonStyle style);
    int Margin(int index) const { return FMargins[index]; }
    void SetMargin(int index, int value);
    int LeftMargin() const { return FMargins[0]; }
    int RightMargin() const { return FMargins[1]; }
    int TopMargin() const { return FMargins[2]; }
    int BottomMargin() const { return FMargins[3]; }
    void SetLeftMargin(int v) { SetMargin(0, v); }
    void SetRightMargin(int v) { SetMargin(1, v); }
    void SetTopMargin(int v) { SetMargin(2, v); }
    void SetBottomMargin(int v) { SetMargin(3, v); }
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool on);
    QRgb TransparentColor() const { return FTransparentColor; }

    int FrameWidth() const { return FFrameWidth; }
    int Side() const { return FSide; }
    TGlyph* Glyph() const { return FGlyph.get(); }
    // The window's width: the frame width while AutoWidth is on.
    int WindowWidth() const;
    void UpdatePosition();

private:
    void ImageChanged();

    TCustomButtonEdit* FEdit;
    int FSide;
    QImage FImage;
    int FWidth = 20;
    bool FEnabled = true;
    bool FVisible = false;
    bool FAutoWidth = false;
    QPointer<QMenu> FDropDownMenu;
    TButtonStyle FStyle = bsCustom;
    int FMargins[4] = {0, 0, 0, 0};
    bool FTransparent = false;
    QRgb FTransparentColor = 0;
    int FFrameWidth = 0;
    std::unique_ptr<TGlyph> FGlyph;
};

class TCustomButtonEdit : public TCustomEditEx {
    Q_OBJECT
public:
    explicit TCustomButtonEdit(QWidget* parent = nullptr);
    ~TCustomButtonEdit() override;

    TEditButton& LeftButton() { return *FLeftButton; }
    TEditButton& RightButton() { return *FRightButton; }
    void SetLeftButton(const TEditButton& b) { FLeftButton->Assign(b); }
    void SetRightButton(const TEditButton& b) { FRightButton->Assign(b); }

    void UpdateEditRect() override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::unique_ptr<TEditButton> FLeftButton;
    std::unique_ptr<TEditButton> FRightButton;
};

class TButtonEdit : public TCustomButtonEdit {
    Q_OBJECT
public:
    using TCustomButtonEdit::TCustomButtonEdit;

    using TClickEvent = std::function<void(QObject* sender)>;
    using TPaintEvent =
        std::function<void(QObject* sender, QPainter& canvas, const QRect& r, TButtonState state)>;
    void SetOnLeftButtonClick(TClickEvent e) { LeftButton().Glyph()->OnClick = std::move(e); }
    void SetOnRightButtonClick(TClickEvent e) { RightButton().Glyph()->OnClick = std::move(e); }
    void SetOnLeftButtonPaint(TPaintEvent e) { LeftButton().Glyph()->OnPaint = std::move(e); }
    void SetOnRightButtonPaint(TPaintEvent e) { RightButton().Glyph()->OnPaint = std::move(e); }
};

} // namespace velmora
