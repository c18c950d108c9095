#include "controls/PubFunc.h"

#include <QPainter>

namespace velmora {

namespace {

// Rectangles here are left, top, right, bottom with right and bottom
// exclusive, as the slice rules are written.
QRect Ltrb(int l, int t, int r, int b) {
    return QRect(l, t, r - l, b - t);
}

// Copies the source rectangle into the target rectangle, scaling when the two
// differ. An empty or inverted rectangle copies nothing.
void CopyRect(QPainter& p, const QRect& target, const QImage& src, const QRect& source) {
    if (target.width() < 1 || target.height() < 1 || source.width() < 1 || source.height() < 1)
        return;
    p.drawImage(target, src, source);
}

QImage NewBitmap(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

void DrawStretchedPicture(const TGraphic& graphic, QPainter& canvas, int w, int h,
                          TVertStretchType vert, THorzStretchType horz) {
    if (graphic.Empty())
        return;
    if (horz == hstNone && vert == vstNone) {
        graphic.Draw(canvas, QRect(0, 0, graphic.Width(), graphic.Height()));
        return;
    }
    if (w < 1 || h < 1)
        return;
    const QImage g = graphic.ToImage();
    const int W = g.width(), H = g.height();
    const int d = w - W;

    QImage a = NewBitmap(w, H);
    {
        QPainter pa(&a);
        pa.setCompositionMode(QPainter::CompositionMode_Source);
        switch (horz) {
        case hstNone:
            pa.drawImage(0, 0, g);
            break;
        case hstAll:
            CopyRect(pa, Ltrb(0, 0, w, H), g, g.rect());
            break;
        case hstLeft:
            CopyRect(pa, Ltrb(0, 0, d, H), g, Ltrb(0, 0, 1, H));
            pa.drawImage(d, 0, g);
            break;
        case hstMiddle: {
            const int m = W / 2;
            CopyRect(pa, Ltrb(0, 0, m, H), g, Ltrb(0, 0, m, H));
            CopyRect(pa, Ltrb(m, 0, m + d, H), g, Ltrb(m, 0, m + 1, H));
            CopyRect(pa, Ltrb(w - m, 0, w, H), g, Ltrb(m, 0, W, H));
            break;
        }
        case hstRight:
            pa.drawImage(0, 0, g);
            CopyRect(pa, Ltrb(W, 0, w, H), g, Ltrb(W - 1, 0, W, H));
            break;
        }
    }

    QImage r = NewBitmap(w, h);
    {
        QPainter pr(&r);
        pr.setCompositionMode(QPainter::CompositionMode_Source);
        switch (vert) {
        case vstNone:
            pr.drawImage(0, 0, a);
            break;
        case vstAll:
            CopyRect(pr, Ltrb(0, 0, w, h), a, a.rect());
            break;
        case vstTop:
            CopyRect(pr, Ltrb(0, 0, w, h - H), a, Ltrb(0, 0, w, 1));
            pr.drawImage(0, h - H, a);
            break;
        case vstCenter: {
            const int n = H / 2;
            CopyRect(pr, Ltrb(0, 0, w, n), a, Ltrb(0, 0, w, n));
            CopyRect(pr, Ltrb(0, n, w, h + n - H), a, Ltrb(0, n, w, n + 1));
            CopyRect(pr, Ltrb(0, h - n, w, h), a, Ltrb(0, n, w, H));
            break;
        }
        case vstBottom:
            pr.drawImage(0, 0, a);
            CopyRect(pr, Ltrb(0, H, w, h), a, Ltrb(0, H - 1, w, H));
            break;
        }
    }
    canvas.drawImage(0, 0, r);
}

} // namespace velmora
