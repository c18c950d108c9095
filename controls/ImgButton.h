#pragma once
// Windowless-looking buttons drawn entirely from pictures, one per display
// state, with the caption laid out against the picture; check buttons add
// radio-style groups among the buttons of one parent.

#include "controls/Imaging.h"

#include <QObject>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace velmora {

// Pictures shared by several buttons; the buttons read them at paint time.
class TImgManager : public QObject {
    Q_OBJECT
public:
    explicit TImgManager(QObject* parent = nullptr) : QObject(parent) {}
    TPicture& ImgNormal() { return FImgNormal; }
    TPicture& ImgCheck() { return FImgCheck; }
    TPicture& ImgEnter() { return FImgEnter; }
    TPicture& ImgDown() { return FImgDown; }
    TPicture& ImgDisable() { return FImgDisable; }
    void SetImgNormal(const TPicture& p) { FImgNormal.Assign(p); }
    void SetImgCheck(const TPicture& p) { FImgCheck.Assign(p); }
    void SetImgEnter(const TPicture& p) { FImgEnter.Assign(p); }
    void SetImgDown(const TPicture& p) { FImgDown.Assign(p); }
    void SetImgDisable(const TPicture& p) { FImgDisable.Assign(p); }

private:
    TPicture FImgNormal, FImgCheck, FImgEnter, FImgDown, FImgDisable;
};

enum TImgControlLayout { iclImgLeft, iclImgRight, iclImgTop, iclImgBottom, iclImgCenter };

class TImgControl : public QWidget {
    Q_OBJECT
public:
    enum TDisplayState { dsNormal = 0, dsHot = 1, dsDown = 2, dsChecked = 3 };

    explicit TImgControl(QWidget* parent = nullptr);

    TPicture& ImgNormal() { return FImgNormal; }
    TPicture& ImgEnter() { return FImgEnter; }
    TPicture& ImgDown() { return FImgDown; }
    TPicture& ImgDisable() { return FImgDisable; }
    void SetImgNormal(const TPicture& p);
    void SetImgEnter(const TPicture& p);
    void SetImgDown(const TPicture& p);
    void SetImgDisable(const TPicture& p);

    TImgManager* ImgManager() const { return FImgManager; }
    void SetImgManager(TImgManager* manager);
    TImgControlLayout ImgButtonLayout() const { return FLayout; }
    void SetImgButtonLayout(TImgControlLayout layout);
    int Spacing() const { return FSpacing; }
    void SetSpacing(int spacing);
    int OnEnterOffset() const { return FOnEnterOffset; }
    void SetOnEnterOffset(int value) { FOnEnterOffset = value; }
    int OnDownOffset() const { return FOnDownOffset; }
    void SetOnDownOffset(int value) { FOnDownOffset = value; }
    bool AutoRepaintParent() const { return FAutoRepaintParent; }
    void SetAutoRepaintParent(bool value) { FAutoRepaintParent = value; }
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    QColor FontColor() const { return FFontColor; }
    void SetFontColor(const QColor& color);

    TDisplayState State() const { return FState; }
    bool Pressed() const { return FPressed; }

    // Where the last paint put the picture and the caption (for layout checks).
    QPoint PicturePos() const { return FPicturePos; }
    QPoint TextPos() const { return FTextPos; }

    std::function<void(TImgControl* sender)> OnClick;
    std::function<void(TImgControl* sender)> OnDblClick;

protected:
    TPicture FImgCheck;
    TDisplayState FState = dsNormal;
    bool FPressed = false;

    virtual void Click();
    void SetState(TDisplayState state);
    void RepaintWithParent();

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void DoAutoSize();

    TPicture FImgNormal, FImgEnter, FImgDown, FImgDisable;
    TImgManager* FImgManager = nullptr;
    TImgControlLayout FLayout = iclImgTop;
    int FSpacing = 2;
    int FOnEnterOffset = 1;
    int FOnDownOffset = 1;
    bool FAutoRepaintParent = false;
    bool FAutoSize = false;
    bool FClickPending = false;
    QString FCaption;
    QColor FFontColor = Qt::black;
    QPoint FPicturePos, FTextPos;
};

class TImgButton : public TImgControl {
    Q_OBJECT
public:
    using TImgControl::TImgControl;
};

class TImgCheckButton : public TImgControl {
    Q_OBJECT
public:
    using TImgControl::TImgControl;

    TPicture& ImgCheck() { return FImgCheck; }
    void SetImgCheck(const TPicture& p) { FImgCheck.Assign(p); }
    int CheckGroup() const { return FCheckGroup; }
    void SetCheckGroup(int group) { FCheckGroup = group; }
    bool Checked() const { return FChecked; }
    void SetChecked(bool value);

protected:
    void Click() override;

private:
    int FCheckGroup = 0;
    bool FChecked = false;
};

} // namespace velmora
