#pragma once
// A picture control: shows its picture at its own size, centred, or stretched
// to the control without keeping proportions; an animated GIF plays in it.

#include "controls/Imaging.h"

#include <QWidget>

#include <functional>

namespace velmora {

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    TPicture& Picture() { return FPicture; }
    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    bool Center() const { return FCenter; }
    void SetCenter(bool value);

    std::function<void(TImage* sender)> OnDblClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    TPicture FPicture;
    bool FStretch = false;
    bool FCenter = false;
};

} // namespace velmora
