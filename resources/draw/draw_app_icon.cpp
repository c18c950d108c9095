// Draws the program's icon for the desktop's menus, in the sizes the hicolor
// icon theme holds: DIR/hicolor/<N>x<N>/apps/velmora.png. A rounded tile in
// the program's blue with a white screen on it showing a small landscape
// wallpaper: the desktop, made one's own. Drawn per size rather than scaled,
// so that the small sizes stay sharp.
//
//   velmora-draw-app-icon DIR
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

QImage AppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0); // drawn on a 64-unit grid

    QPainterPath tile;
    tile.addRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    QLinearGradient blue(0, 2, 0, 62);
    blue.setColorAt(0, QColor(92, 170, 230));
    blue.setColorAt(1, QColor(30, 96, 168));
    p.fillPath(tile, blue);

    // The screen and its stand.
    const QRectF screen(10, 13, 44, 30);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(screen.adjusted(-2.5, -2.5, 2.5, 2.5), 3, 3);
    p.drawRect(QRectF(28, 45, 8, 5));
    p.drawRoundedRect(QRectF(20, 49, 24, 4), 2, 2);

    // The wallpaper: sky, sun and two hills.
    p.save();
    p.setClipRect(screen);
    QLinearGradient sky(0, screen.top(), 0, screen.bottom());
    sky.setColorAt(0, QColor(255, 214, 120));
    sky.setColorAt(1, QColor(250, 150, 90));
    p.fillRect(screen, sky);
    p.setBrush(QColor(255, 250, 220));
    p.drawEllipse(QPointF(42, 21), 4.5, 4.5);
    QPainterPath far;
    far.moveTo(8, 44);
    far.cubicTo(18, 26, 30, 28, 40, 44);
    p.fillPath(far, QColor(70, 150, 90));
    QPainterPath near;
    near.moveTo(22, 44);
    near.cubicTo(32, 30, 46, 30, 56, 44);
    p.fillPath(near, QColor(40, 120, 70));
    p.restore();
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-draw-app-icon DIR\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        if (!root.mkpath(folder) || !AppIcon(size).save(root.filePath(folder + "/velmora.png"))) {
            std::fprintf(stderr, "velmora-draw-app-icon: cannot write %s\n",
                         qPrintable(root.filePath(folder)));
            return 1;
        }
    }
    return 0;
}
