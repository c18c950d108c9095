#include "controls/PaintPanel.h"

#include <QPainter>
#include <QStyle>

namespace velmora {

TPaintPanel::TPaintPanel(QWidget* parent) : QWidget(parent) {
    FColor = palette().color(QPalette::Window);
    FPicture.OnChange = [this] { PictureChanged(); };
    UpdateErase();
}

QRect TPaintPanel::ClientRect() const {
    return rect().adjusted(FBorderWidth, FBorderWidth, -FBorderWidth, -FBorderWidth);
}

void TPaintPanel::PictureChanged() {
    if (FPicture.HasGraphic()) {
        if (FAutoWidth)
            resize(FPicture.Width(), height());
        if (FAutoHeight)
            resize(width(), FPicture.Height());
    }
    UpdateErase();
    update();
}

// With a picture the panel covers itself, so Qt need not erase beneath it.
void TPaintPanel::UpdateErase() {
    setAttribute(Qt::WA_OpaquePaintEvent, FPicture.HasGraphic());
}

void TPaintPanel::SetPicHorzStretch(THorzStretchType value) {
    if (value != FHorz) {
        FHorz = value;
        update();
    }
}

void TPaintPanel::SetPicVertStretch(TVertStretchType value) {
    if (value != FVert) {
        FVert = value;
        update();
    }
}

void TPaintPanel::SetBevelStyle(TBorderStyle value) {
    if (value != FBevelStyle) {
        FBevelStyle = value;
        update();
    }
}

void TPaintPanel::SetBevelColor(const QColor& value) {
    if (value != FBevelColor) {
        FBevelColor = value;
        update();
    }
}

void TPaintPanel::SetBevelWidth(int value) {
    if (value >= 1 && value != FBevelWidth) {
        FBevelWidth = value;
        update();
    }
}

void TPaintPanel::SetBorderWidth(int value) {
    if (value >= 0 && value != FBorderWidth) {
        FBorderWidth = value;
        update();
    }
}

void TPaintPanel::SetAutoWidth(bool value) {
    if (value == FAutoWidth || !FPicture.HasGraphic())
        return;
    FAutoWidth = value;
    if (value)
        resize(FPicture.Width(), height());
}

void TPaintPanel::SetAutoHeight(bool value) {
    if (value == FAutoHeight || !FPicture.HasGraphic())
        return;
    FAutoHeight = value;
    if (value)
        resize(width(), FPicture.Height());
}

void TPaintPanel::SetCaption(const QString& caption) {
    if (caption != FCaption) {
        FCaption = caption;
        update();
    }
}

void TPaintPanel::SetAlignment(TAlignment value) {
    FAlignment = value;
    update();
}

void TPaintPanel::SetVerticalAlignment(TVerticalAlignment value) {
    FVerticalAlignment = value;
    update();
}

void TPaintPanel::SetColor(const QColor& color) {
    FColor = color;
    update();
}

void TPaintPanel::SetFontColor(const QColor& color) {
    FFontColor = color;
    update();
}

void TPaintPanel::SetParentBackground(bool value) {
    FParentBackground = value;
    update();
}

void TPaintPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect client = ClientRect();
    if (FPicture.HasGraphic()) {
        p.save();
        p.translate(client.topLeft());
        p.setClipRect(QRect(QPoint(0, 0), client.size()));
        DrawStretchedPicture(*FPicture.Graphic(), p, client.width(), client.height(), FVert, FHorz);
        p.restore();
    } else if (!FParentBackground) {
        p.fillRect(client, FColor);
    }
    p.setBrush(Qt::NoBrush);

    if (!FCaption.isEmpty()) {
        int flags = Qt::TextSingleLine | Qt::TextExpandTabs;
        flags |= FAlignment == taLeftJustify    ? Qt::AlignLeft
                 : FAlignment == taRightJustify ? Qt::AlignRight
                                                : Qt::AlignHCenter;
        flags |= FVerticalAlignment == taAlignTop      ? Qt::AlignTop
                 : FVerticalAlignment == taAlignBottom ? Qt::AlignBottom
                                                       : Qt::AlignVCenter;
        // Right-to-left reading swaps left and right.
        flags = int(QStyle::visualAlignment(layoutDirection(), Qt::Alignment(flags))) |
                (flags & ~int(Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask));
        p.setFont(font());
        p.setPen(FFontColor);
        p.drawText(client, flags, FCaption);
    }

    if (FBevelStyle == bsSingle) {
        // An outline of pen width bw centred on the rectangle's edges, as the
        // right and bottom edges lie one pixel inside; an even width first
        // moves the left and top edges one pixel in so the frame stays whole.
        QRect r = client;
        int left = r.left(), top = r.top();
        const int right = r.left() + r.width() - 1, bottom = r.top() + r.height() - 1;
        const int bw = FBevelWidth;
        if (bw % 2 == 0) {
            ++left;
            ++top;
        }
        const int lo = bw / 2; // pixels of the pen before the line
        auto band = [&](int x0, int y0, int x1, int y1) {
            QRect rr = QRect(QPoint(x0, y0), QPoint(x1, y1)).intersected(client);
            if (!rr.isEmpty())
                p.fillRect(rr, FBevelColor);
        };
        band(left - lo, top - lo, right - lo + bw - 1, top - lo + bw - 1);       // top
        band(left - lo, bottom - lo, right - lo + bw - 1, bottom - lo + bw - 1); // bottom
        band(left - lo, top - lo, left - lo + bw - 1, bottom - lo + bw - 1);     // left
        band(right - lo, top - lo, right - lo + bw - 1, bottom - lo + bw - 1);   // right
    }

    if (OnPaint) {
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        OnPaint(this, p);
    }
}

} // namespace velmora
