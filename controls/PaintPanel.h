#pragma once
// A panel painted from a picture stretched by slice rules, with a caption, an
// optional one-colour frame and a paint event for extra drawing.

#include "controls/ControlTypes.h"
#include "controls/Imaging.h"
#include "controls/PubFunc.h"

#include <QColor>
#include <QWidget>

#include <functional>

namespace velmora {

class TPaintPanel : public QWidget {
    Q_OBJECT
public:
    explicit TPaintPanel(QWidget* parent = nullptr);

    TPicture& Picture() { return FPicture; }
    void SetPicture(const TPicture& picture) { FPicture.Assign(picture); }
    THorzStretchType PicHorzStretch() const { return FHorz; }
    void SetPicHorzStretch(THorzStretchType value);
    TVertStretchType PicVertStretch() const { return FVert; }
    void SetPicVertStretch(TVertStretchType value);
    TBorderStyle BevelStyle() const { return FBevelStyle; }
    void SetBevelStyle(TBorderStyle value);
    QColor BevelColor() const { return FBevelColor; }
    void SetBevelColor(const QColor& value);
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int value);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int value);
    bool AutoWidth() const { return FAutoWidth; }
    void SetAutoWidth(bool value);
    bool AutoHeight() const { return FAutoHeight; }
    void SetAutoHeight(bool value);

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    TVerticalAlignment VerticalAlignment() const { return FVerticalAlignment; }
    void SetVerticalAlignment(TVerticalAlignment value);
    QColor Color() const { return FColor; }
    void SetColor(const QColor& color);
    QColor FontColor() const { return FFontColor; }
    void SetFontColor(const QColor& color);
    bool ParentBackground() const { return FParentBackground; }
    void SetParentBackground(bool value);

    // Runs after the panel has painted; the painter's brush is hollow, so
    // rectangles drawn there are outlines only.
    std::function<void(TPaintPanel* sender, QPainter& canvas)> OnPaint;

    // The area inside the border width, in widget coordinates.
    QRect ClientRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PictureChanged();
    void UpdateErase();

    TPicture FPicture;
    THorzStretchType FHorz = hstNone;
    TVertStretchType FVert = vstNone;
    TBorderStyle FBevelStyle = bsNone;
    QColor FBevelColor = Qt::black;
    int FBevelWidth = 1;
    int FBorderWidth = 0;
    bool FAutoWidth = false;
    bool FAutoHeight = false;
    QString FCaption;
    TAlignment FAlignment = taCenter;
    TVerticalAlignment FVerticalAlignment = taVerticalCenter;
    QColor FColor;
    QColor FFontColor = Qt::black;
    bool FParentBackground = false;
};

} // namespace velmora
