// Draws the pictures of the main window into the folder given on the command
// line: page-button faces, status images, title-bar strips and the
// no-preview picture. The PNG files it writes are kept in resources/ and built
// into the program; run it again after changing a picture here.
//
//   velmora-draw-resources DIR
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>

#include <cstdio>

namespace {

QImage Blank(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// A rounded page-button face: a vertical gradient with a one-pixel frame.
QImage ButtonFace(QColor top, QColor bottom, QColor frame) {
    QImage image = Blank(80, 25);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 25);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    QPainterPath path;
    path.addRoundedRect(QRectF(0.5, 0.5, 79, 24), 4, 4);
    p.fillPath(path, g);
    p.setPen(frame);
    p.drawPath(path);
    return image;
}

// A 16 x 16 check box, empty or ticked.
QImage CheckBox(bool ticked) {
    QImage image = Blank(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(112, 112, 112));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
    if (ticked) {
        p.setPen(QPen(QColor(20, 140, 40), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(5, 8), QPointF(7.5, 10.5), QPointF(11.5, 5)}));
    }
    return image;
}

QImage Polygon16(const QPolygonF& shape, QColor fill) {
    QImage image = Blank(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(fill.darker(130));
    p.setBrush(fill);
    p.drawPolygon(shape);
    return image;
}

QImage DownArrow() {
    return Polygon16(QPolygonF({QPointF(6, 2), QPointF(10, 2), QPointF(10, 8), QPointF(13, 8),
                                QPointF(8, 14), QPointF(3, 8), QPointF(6, 8)}),
                     QColor(40, 170, 60));
}

QImage GreenTick() {
    QImage image = Blank(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 160, 50), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
    return image;
}

QImage RedCross() {
    QImage image = Blank(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(210, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
    return image;
}

// Title bars: a soft vertical gradient, three pixels wide, with a light top
// edge and a grey bottom edge.
QImage TitleStrip(QColor top, QColor bottom) {
    QImage image(3, 22, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, 22);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(image.rect(), g);
    p.setPen(Qt::white);
    p.drawLine(0, 0, 2, 0);
    p.setPen(QColor(192, 192, 192));
    p.drawLine(0, 21, 2, 21);
    return image;
}

QImage NoPreview() {
    QImage image(400, 300, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(image.rect(), QColor(244, 246, 248));
    p.setPen(QPen(QColor(200, 205, 210), 1, Qt::DashLine));
    p.drawRect(QRectF(10.5, 10.5, 379, 279));
    // A picture frame with a mountain, greyed out.
    p.setPen(QPen(QColor(170, 176, 184), 3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(160, 90, 80, 64), 6, 6);
    p.setBrush(QColor(190, 196, 204));
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygonF({QPointF(166, 148), QPointF(190, 116), QPointF(206, 134),
                             QPointF(216, 124), QPointF(234, 148)}));
    p.drawEllipse(QPointF(222, 106), 6, 6);
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(16);
    p.setFont(font);
    p.setPen(QColor(130, 136, 144));
    p.drawText(QRect(0, 170, 400, 30), Qt::AlignCenter, QString::fromUtf8("暂无预览图片"));
    return image;
}

bool Save(const QImage& image, const QString& dir, const char* name) {
    const QString path = dir + "/" + QString::fromLatin1(name);
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

// draw_wallpaper.cpp: the wallpaper search window's pictures.
bool DrawWallpaperPictures(const QString& dir);

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-draw-resources DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    ok &= Save(ButtonFace(QColor(250, 250, 250), QColor(226, 230, 234), QColor(170, 176, 184)), dir,
               "button_normal.png");
    ok &= Save(ButtonFace(QColor(92, 170, 230), QColor(40, 120, 200), QColor(30, 96, 168)), dir,
               "button_checked.png");
    ok &= Save(ButtonFace(QColor(255, 255, 255), QColor(210, 232, 250), QColor(110, 170, 220)), dir,
               "button_hot.png");
    ok &= Save(ButtonFace(QColor(40, 120, 200), QColor(70, 150, 220), QColor(30, 96, 168)), dir,
               "button_down.png");
    ok &= Save(Blank(16, 16), dir, "status0.png");
    ok &= Save(CheckBox(false), dir, "status1.png");
    ok &= Save(CheckBox(true), dir, "status2.png");
    ok &= Save(DownArrow(), dir, "status3.png");
    ok &= Save(GreenTick(), dir, "status4.png");
    ok &= Save(RedCross(), dir, "status5.png");
    ok &= Save(
        Polygon16(QPolygonF({QPointF(3, 5), QPointF(13, 5), QPointF(8, 11)}), QColor(40, 170, 60)),
        dir, "status6.png");
    ok &= Save(
        Polygon16(QPolygonF({QPointF(5, 3), QPointF(11, 8), QPointF(5, 13)}), QColor(40, 170, 60)),
        dir, "status7.png");
    ok &= Save(TitleStrip(QColor(252, 253, 254), QColor(228, 234, 240)), dir, "title_list.png");
    ok &= Save(TitleStrip(QColor(252, 253, 254), QColor(232, 238, 230)), dir, "title_preview.png");
    ok &= Save(NoPreview(), dir, "nopic.png");
    ok &= DrawWallpaperPictures(dir);
    return ok ? 0 : 1;
}
