// Draws the icon library that ships beside the program: one folder per
// category, each holding ".ico" files with 16, 32 and 48 pixel images (32-bit
// with alpha). Every icon is a folder in its category's colour with a white
// emblem on its front. The build runs it into the program folder's
// cache/icons; the category "自定义" is left empty for the user's own icons.
//
//   velmora-draw-icons DIR
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QSaveFile>
#include <QtMath>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

// An emblem is drawn in a 24 x 24 box with a white pen and brush.
using TEmblem = std::function<void(QPainter&)>;

struct TIconDef {
    const char* Name;
    TEmblem Emblem;
};

struct TCategoryDef {
    const char* Name;
    QColor Color;
    std::vector<TIconDef> Icons;
};

QPolygonF Poly(std::initializer_list<QPointF> points) {
    return QPolygonF(QList<QPointF>(points));
}

void Fill(QPainter& p, const QPolygonF& shape) {
    p.drawPolygon(shape);
}

void Stroke(QPainter& p, qreal width) {
    QPen pen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
}

QPolygonF Star(QPointF c, qreal outer, qreal inner, int points) {
    QPolygonF star;
    for (int i = 0; i < points * 2; ++i) {
        const qreal r = i % 2 ? inner : outer;
        const qreal a = -M_PI / 2 + i * M_PI / points;
        star << QPointF(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
    }
    return star;
}

// --- emblems ------------------------------------------------------------------

void Arrow(QPainter& p, qreal angleDegrees) {
    p.translate(12, 12);
    p.rotate(angleDegrees);
    Fill(p, Poly({{0, -9}, {8, 0}, {3, 0}, {3, 9}, {-3, 9}, {-3, 0}, {-8, 0}}));
}

void Refresh(QPainter& p) {
    Stroke(p, 3);
    p.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 280 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    Fill(p, Poly({{15, 1}, {22, 6}, {14, 10}}));
}

void Tray(QPainter& p, bool up) {
    Stroke(p, 2.5);
    p.drawPolyline(Poly({{3, 14}, {3, 21}, {21, 21}, {21, 14}}));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    if (up)
        Fill(p, Poly({{12, 2}, {18, 9}, {14, 9}, {14, 17}, {10, 17}, {10, 9}, {6, 9}}));
    else
        Fill(p, Poly({{12, 17}, {18, 10}, {14, 10}, {14, 2}, {10, 2}, {10, 10}, {6, 10}}));
}

void TwoWay(QPainter& p) {
    Fill(p, Poly({{1, 12},
                  {8, 5},
                  {8, 9},
                  {16, 9},
                  {16, 5},
                  {23, 12},
                  {16, 19},
                  {16, 15},
                  {8, 15},
                  {8, 19}}));
}

void Sun(QPainter& p) {
    p.drawEllipse(QPointF(12, 12), 5, 5);
    Stroke(p, 2);
    for (int i = 0; i < 8; ++i) {
        const qreal a = i * M_PI / 4;
        p.drawLine(QPointF(12 + 8 * std::cos(a), 12 + 8 * std::sin(a)),
                   QPointF(12 + 11 * std::cos(a), 12 + 11 * std::sin(a)));
    }
}

void Moon(QPainter& p) {
    QPainterPath moon;
    moon.addEllipse(QPointF(12, 12), 9, 9);
    QPainterPath bite;
    bite.addEllipse(QPointF(17, 8), 8, 8);
    p.drawPath(moon.subtracted(bite));
}

void Cloud(QPainter& p) {
    QPainterPath cloud;
    cloud.addEllipse(QPointF(8, 14), 5, 5);
    cloud.addEllipse(QPointF(13, 10), 6, 6);
    cloud.addEllipse(QPointF(18, 14), 5, 5);
    cloud.addRect(QRectF(8, 14, 10, 5));
    p.drawPath(cloud.simplified());
}

void Leaf(QPainter& p) {
    QPainterPath leaf;
    leaf.moveTo(4, 20);
    leaf.cubicTo(4, 6, 14, 3, 21, 3);
    leaf.cubicTo(21, 12, 16, 20, 4, 20);
    p.drawPath(leaf);
}

void Tree(QPainter& p) {
    Fill(p, Poly({{12, 1}, {20, 11}, {16, 11}, {21, 18}, {3, 18}, {8, 11}, {4, 11}}));
    p.drawRect(QRectF(10, 18, 4, 5));
}

void Flower(QPainter& p) {
    for (int i = 0; i < 5; ++i) {
        const qreal a = -M_PI / 2 + i * 2 * M_PI / 5;
        p.drawEllipse(QPointF(12 + 6 * std::cos(a), 12 + 6 * std::sin(a)), 4, 4);
    }
}

void Drop(QPainter& p) {
    QPainterPath drop;
    drop.moveTo(12, 2);
    drop.cubicTo(16, 9, 19, 12, 19, 15);
    drop.arcTo(QRectF(5, 8, 14, 14), 0, -180);
    drop.cubicTo(5, 12, 8, 9, 12, 2);
    p.drawPath(drop);
}

void Snowflake(QPainter& p) {
    Stroke(p, 2);
    for (int i = 0; i < 6; ++i) {
        const qreal a = i * M_PI / 3;
        const QPointF tip(12 + 10 * std::cos(a), 12 + 10 * std::sin(a));
        p.drawLine(QPointF(12, 12), tip);
        const QPointF mid(12 + 6 * std::cos(a), 12 + 6 * std::sin(a));
        p.drawLine(mid, QPointF(mid.x() + 3 * std::cos(a + 0.8), mid.y() + 3 * std::sin(a + 0.8)));
        p.drawLine(mid, QPointF(mid.x() + 3 * std::cos(a - 0.8), mid.y() + 3 * std::sin(a - 0.8)));
    }
}

void Mountain(QPainter& p) {
    Fill(p, Poly({{1, 21}, {9, 7}, {13, 13}, {16, 9}, {23, 21}}));
}

void Heart(QPainter& p) {
    QPainterPath heart;
    heart.moveTo(12, 21);
    heart.cubicTo(2, 14, 1, 8, 5, 5);
    heart.cubicTo(8, 3, 11, 5, 12, 8);
    heart.cubicTo(13, 5, 16, 3, 19, 5);
    heart.cubicTo(23, 8, 22, 14, 12, 21);
    p.drawPath(heart);
}

void Check(QPainter& p) {
    Stroke(p, 4);
    p.drawPolyline(Poly({{4, 12}, {10, 18}, {20, 5}}));
}

void Cross(QPainter& p) {
    Stroke(p, 4);
    p.drawLine(QPointF(5, 5), QPointF(19, 19));
    p.drawLine(QPointF(19, 5), QPointF(5, 19));
}

void Plus(QPainter& p) {
    p.drawRect(QRectF(9, 3, 6, 18));
    p.drawRect(QRectF(3, 9, 18, 6));
}

void Question(QPainter& p) {
    Stroke(p, 3.5);
    p.drawArc(QRectF(6, 2, 12, 11), 180 * 16, -250 * 16);
    p.drawLine(QPointF(12, 13), QPointF(12, 16));
    p.drawPoint(QPointF(12, 21));
}

void Exclamation(QPainter& p) {
    Fill(p, Poly({{9, 2}, {15, 2}, {13.5, 16}, {10.5, 16}}));
    p.drawEllipse(QPointF(12, 20), 2.3, 2.3);
}

void Lock(QPainter& p) {
    p.drawRoundedRect(QRectF(4, 10, 16, 12), 2, 2);
    Stroke(p, 3);
    p.drawArc(QRectF(7, 2, 10, 14), 0, 180 * 16);
    p.drawLine(QPointF(7, 9), QPointF(7, 11));
    p.drawLine(QPointF(17, 9), QPointF(17, 11));
}

void Note(QPainter& p) {
    p.drawEllipse(QPointF(7, 18), 4, 3);
    p.drawEllipse(QPointF(18, 16), 4, 3);
    Fill(
        p,
        Poly({{9.5, 18}, {9.5, 4}, {22, 2}, {22, 16}, {20, 16}, {20, 6}, {11.5, 7.5}, {11.5, 18}}));
}

void Lightning(QPainter& p) {
    Fill(p, Poly({{14, 1}, {5, 13}, {11, 13}, {9, 23}, {19, 9}, {13, 9}}));
}

void House(QPainter& p) {
    Fill(p, Poly({{12, 2},
                  {23, 12},
                  {20, 12},
                  {20, 22},
                  {14, 22},
                  {14, 16},
                  {10, 16},
                  {10, 22},
                  {4, 22},
                  {4, 12},
                  {1, 12}}));
}

void Flag(QPainter& p) {
    p.drawRect(QRectF(4, 2, 2.5, 20));
    Fill(p, Poly({{6.5, 3}, {21, 3}, {17, 8}, {21, 13}, {6.5, 13}}));
}

void Pin(QPainter& p) {
    QPainterPath pin;
    pin.moveTo(12, 23);
    pin.cubicTo(6, 15, 4, 12, 4, 9);
    pin.arcTo(QRectF(4, 1, 16, 16), 180, -180);
    pin.cubicTo(20, 12, 18, 15, 12, 23);
    QPainterPath hole;
    hole.addEllipse(QPointF(12, 9), 3, 3);
    p.drawPath(pin.subtracted(hole));
}

void Globe(QPainter& p) {
    Stroke(p, 2);
    p.drawEllipse(QPointF(12, 12), 10, 10);
    p.drawEllipse(QRectF(7, 2, 10, 20));
    p.drawLine(QPointF(2, 12), QPointF(22, 12));
    p.drawLine(QPointF(12, 2), QPointF(12, 22));
}

void Compass(QPainter& p) {
    Stroke(p, 2);
    p.drawEllipse(QPointF(12, 12), 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    Fill(p, Poly({{12, 4}, {15, 12}, {12, 20}, {9, 12}}));
}

void Camera(QPainter& p) {
    QPainterPath body;
    body.addRoundedRect(QRectF(2, 7, 20, 14), 2, 2);
    body.addRect(QRectF(8, 4, 8, 4));
    QPainterPath lens;
    lens.addEllipse(QPointF(12, 14), 4, 4);
    p.drawPath(body.simplified().subtracted(lens));
}

void Suitcase(QPainter& p) {
    p.drawRoundedRect(QRectF(2, 8, 20, 13), 2, 2);
    Stroke(p, 2);
    p.drawRect(QRectF(8, 4, 8, 4));
}

void Plane(QPainter& p) {
    Fill(p, Poly({{12, 1},
                  {14, 8},
                  {22, 13},
                  {22, 15},
                  {14, 12},
                  {13.5, 19},
                  {17, 22},
                  {7, 22},
                  {10.5, 19},
                  {10, 12},
                  {2, 15},
                  {2, 13},
                  {10, 8}}));
}

void Document(QPainter& p) {
    Fill(p, Poly({{5, 2}, {15, 2}, {20, 7}, {20, 22}, {5, 22}}));
}

void Chart(QPainter& p) {
    p.drawRect(QRectF(3, 13, 4, 9));
    p.drawRect(QRectF(10, 7, 4, 15));
    p.drawRect(QRectF(17, 3, 4, 19));
}

void Calendar(QPainter& p) {
    QPainterPath page;
    page.addRoundedRect(QRectF(3, 4, 18, 18), 2, 2);
    QPainterPath days;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            days.addRect(QRectF(6 + c * 5, 11 + r * 5, 3, 3));
    p.drawPath(page.subtracted(days));
}

void Mail(QPainter& p) {
    QPainterPath env;
    env.addRect(QRectF(2, 5, 20, 14));
    QPainterPath flap;
    flap.moveTo(2, 5);
    flap.lineTo(12, 13);
    flap.lineTo(22, 5);
    flap.lineTo(22, 7);
    flap.lineTo(12, 15);
    flap.lineTo(2, 7);
    flap.closeSubpath();
    p.drawPath(env.subtracted(flap));
}

void Clipboard(QPainter& p) {
    QPainterPath board;
    board.addRoundedRect(QRectF(4, 3, 16, 20), 2, 2);
    QPainterPath lines;
    for (int i = 0; i < 3; ++i)
        lines.addRect(QRectF(7, 9 + i * 4, 10, 1.6));
    p.drawPath(board.subtracted(lines));
}

void Pen(QPainter& p) {
    Fill(p, Poly({{17, 2}, {22, 7}, {8, 21}, {2, 22}, {3, 16}}));
}

void Calculator(QPainter& p) {
    QPainterPath body;
    body.addRoundedRect(QRectF(4, 1, 16, 22), 2, 2);
    QPainterPath holes;
    holes.addRect(QRectF(7, 4, 10, 4));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            holes.addRect(QRectF(7 + c * 3.7, 10.5 + r * 3.7, 2.4, 2.4));
    p.drawPath(body.subtracted(holes));
}

void Book(QPainter& p) {
    Fill(p, Poly({{2, 5}, {11, 7}, {11, 22}, {2, 20}}));
    Fill(p, Poly({{13, 7}, {22, 5}, {22, 20}, {13, 22}}));
}

const std::vector<TCategoryDef>& Library() {
    static const std::vector<TCategoryDef> library = {
        {"arrows",
         QColor(58, 128, 210),
         {{"up.ico", [](QPainter& p) { Arrow(p, 0); }},
          {"right.ico", [](QPainter& p) { Arrow(p, 90); }},
          {"down.ico", [](QPainter& p) { Arrow(p, 180); }},
          {"left.ico", [](QPainter& p) { Arrow(p, 270); }},
          {"both-ways.ico", TwoWay},
          {"refresh.ico", Refresh},
          {"download.ico", [](QPainter& p) { Tray(p, false); }},
          {"upload.ico", [](QPainter& p) { Tray(p, true); }}}},
        {"Nature",
         QColor(70, 160, 80),
         {{"Sun.ico", Sun},
          {"Moon.ico", Moon},
          {"Cloud.ico", Cloud},
          {"Leaf.ico", Leaf},
          {"Tree.ico", Tree},
          {"Flower.ico", Flower},
          {"Drop.ico", Drop},
          {"Snowflake.ico", Snowflake},
          {"Mountain.ico", Mountain}}},
        {"symbols",
         QColor(200, 70, 90),
         {{"star.ico",
           [](QPainter& p) {
               Fill(p, Star({12, 12.5}, 11, 4.5, 5));
           }},
          {"heart.ico", Heart},
          {"check.ico", Check},
          {"cross.ico", Cross},
          {"plus.ico", Plus},
          {"question.ico", Question},
          {"exclamation.ico", Exclamation},
          {"lock.ico", Lock},
          {"music.ico", Note},
          {"lightning.ico", Lightning}}},
        {"Travel",
         QColor(230, 140, 40),
         {{"Home.ico", House},
          {"Flag.ico", Flag},
          {"Pin.ico", Pin},
          {"Globe.ico", Globe},
          {"Compass.ico", Compass},
          {"Camera.ico", Camera},
          {"Suitcase.ico", Suitcase},
          {"Plane.ico", Plane}}},
        {"办公",
         QColor(120, 90, 190),
         {{"文档.ico", Document},
          {"图表.ico", Chart},
          {"日历.ico", Calendar},
          {"邮件.ico", Mail},
          {"剪贴板.ico", Clipboard},
          {"笔.ico", Pen},
          {"计算器.ico", Calculator},
          {"书籍.ico", Book}}},
        {"自定义", QColor(), {}},
    };
    return library;
}

// The folder with the emblem, at one size.
QImage DrawIcon(int size, const QColor& color, const TEmblem& emblem) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    // The folder: a tab at the back, the body in front.
    QPainterPath back;
    back.addRoundedRect(QRectF(3, 7, 18, 10), 3, 3);
    back.addRoundedRect(QRectF(3, 11, 42, 31), 3, 3);
    p.setPen(QPen(color.darker(150), 1.5));
    p.setBrush(color.darker(120));
    p.drawPath(back.simplified());
    QLinearGradient front(0, 15, 0, 44);
    front.setColorAt(0, color.lighter(125));
    front.setColorAt(1, color);
    p.setBrush(front);
    p.drawRoundedRect(QRectF(3, 16, 42, 28), 3, 3);
    // The emblem, centred on the front.
    p.translate(14, 18);
    p.scale(20 / 24.0, 20 / 24.0);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    emblem(p);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

void Put16(QByteArray& b, quint16 v) {
    b.append(char(v & 0xFF)).append(char(v >> 8));
}
void Put32(QByteArray& b, quint32 v) {
    Put16(b, quint16(v & 0xFFFF));
    Put16(b, quint16(v >> 16));
}

// One image as an icon resource: the 32-bit BGRA bitmap bottom up, then the
// 1-bit mask that older systems use where alpha is not read.
QByteArray IconImage(const QImage& image) {
    const int w = image.width(), h = image.height();
    const int maskStride = ((w + 31) / 32) * 4;
    QByteArray b;
    Put32(b, 40);
    Put32(b, quint32(w));
    Put32(b, quint32(h * 2));
    Put16(b, 1);
    Put16(b, 32);
    Put32(b, 0);
    Put32(b, quint32(w * h * 4 + maskStride * h));
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 0);
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            b.append(char(qBlue(line[x]))).append(char(qGreen(line[x])));
            b.append(char(qRed(line[x]))).append(char(qAlpha(line[x])));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (qAlpha(line[x]) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        b.append(row);
    }
    return b;
}

QByteArray IcoFile(const std::vector<QImage>& images) {
    QByteArray file;
    Put16(file, 0);
    Put16(file, 1); // icon
    Put16(file, quint16(images.size()));
    std::vector<QByteArray> data;
    for (const QImage& image : images)
        data.push_back(IconImage(image));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        file.append(char(images[i].width())).append(char(images[i].height()));
        file.append('\0').append('\0'); // no palette
        Put16(file, 1);
        Put16(file, 32);
        Put32(file, quint32(data[i].size()));
        Put32(file, offset);
        offset += quint32(data[i].size());
    }
    for (const QByteArray& d : data)
        file.append(d);
    return file;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-draw-icons DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    for (const TCategoryDef& category : Library()) {
        const QString folder = dir.filePath(QString::fromUtf8(category.Name));
        if (!QDir().mkpath(folder)) {
            std::fprintf(stderr, "cannot make %s\n", qPrintable(folder));
            ok = false;
            continue;
        }
        for (const TIconDef& icon : category.Icons) {
            std::vector<QImage> images;
            for (int size : {16, 32, 48})
                images.push_back(DrawIcon(size, category.Color, icon.Emblem));
            QSaveFile file(folder + "/" + QString::fromUtf8(icon.Name));
            if (!file.open(QIODevice::WriteOnly) || file.write(IcoFile(images)) < 0 ||
                !file.commit()) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
                ok = false;
            }
        }
    }
    return ok ? 0 : 1;
}
