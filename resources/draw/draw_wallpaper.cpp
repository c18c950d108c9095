// Draws the pictures of the wallpaper search window and its viewer: the
// action strip and the downloaded mark of the result grid, the progress box's
// frame and its animated spinner, and the viewer's button faces.
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QtMath>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

QImage Blank(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QFont SmallFont(int pixels) {
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(pixels);
    return font;
}

void Magnifier(QPainter& p, QPointF at) {
    p.setPen(QPen(Qt::white, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(at + QPointF(5, 5), 3.6, 3.6);
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(at + QPointF(7.8, 7.8), at + QPointF(11, 11));
}

void Gear(QPainter& p, QPointF c) {
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int i = 0; i < 8; ++i) {
        const qreal a = i * M_PI / 4;
        p.drawEllipse(c + QPointF(4.6 * std::cos(a), 4.6 * std::sin(a)), 1.4, 1.4);
    }
    p.drawEllipse(c, 4.2, 4.2);
    p.setBrush(QColor(70, 74, 80));
    p.drawEllipse(c, 1.7, 1.7);
}

// 130 x 16, opaque: magnifier and 壁纸预览 on the left half, gear and 设为桌面
// on the right half.
QImage ActionStrip() {
    QImage image(130, 16, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, 16);
    g.setColorAt(0, QColor(92, 96, 104));
    g.setColorAt(1, QColor(52, 56, 62));
    p.fillRect(image.rect(), g);
    p.setPen(QColor(120, 124, 130));
    p.drawLine(65, 3, 65, 12);
    p.setRenderHint(QPainter::Antialiasing);
    Magnifier(p, QPointF(2, 2));
    Gear(p, QPointF(73, 8));
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(SmallFont(11));
    p.setPen(Qt::white);
    p.drawText(QRect(15, 0, 50, 16), Qt::AlignVCenter | Qt::AlignLeft,
               QString::fromUtf8("壁纸预览"));
    p.drawText(QRect(80, 0, 50, 16), Qt::AlignVCenter | Qt::AlignLeft,
               QString::fromUtf8("设为桌面"));
    return image;
}

// 24 x 24 with alpha: an orange round badge with a white downward arrow.
QImage DownloadedMark() {
    QImage image = Blank(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 1, 0, 23);
    g.setColorAt(0, QColor(255, 168, 60));
    g.setColorAt(1, QColor(238, 110, 10));
    p.setPen(QPen(QColor(200, 90, 0), 1));
    p.setBrush(g);
    p.drawEllipse(QRectF(1.5, 1.5, 21, 21));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({QPointF(10, 5.5), QPointF(14, 5.5), QPointF(14, 11), QPointF(17.5, 11),
                             QPointF(12, 17.5), QPointF(6.5, 11), QPointF(10, 11)}));
    p.drawRect(QRectF(7, 18.5, 10, 1.6));
    return image;
}

// 36 x 42: the progress box's frame. Its middle column and middle row are
// plain, so it stretches to any size.
QImage ProgressFrame() {
    QImage image = Blank(36, 42);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(0.5, 0.5, 35, 41), 6, 6);
    p.fillPath(path, QColor(250, 251, 253));
    p.setPen(QPen(QColor(150, 170, 196), 1));
    p.drawPath(path);
    return image;
}

// One frame of the spinner: twelve dots round a circle, the head dark.
QImage SpinnerFrame(int step, int steps) {
    QImage image = Blank(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < steps; ++i) {
        const int age = (step - i + steps) % steps; // 0: the head
        const qreal a = 2 * M_PI * i / steps - M_PI / 2;
        // From the dark blue head to a pale tail.
        const qreal t = qreal(age) / (steps - 1);
        p.setBrush(QColor(int(30 + t * 185), int(90 + t * 135), int(200 + t * 35)));
        p.drawEllipse(QPointF(16 + 11.5 * std::cos(a), 16 + 11.5 * std::sin(a)), 2.6, 2.6);
    }
    return image;
}

// ---- GIF89a writer ---------------------------------------------------------------
// Qt reads GIF but cannot write it, so the spinner is encoded here: a global
// palette, one transparent index, LZW-compressed frames that loop forever.

struct TBitWriter {
    std::string Bytes;
    unsigned Acc = 0;
    int Bits = 0;
    void Put(unsigned code, int width) {
        Acc |= code << Bits;
        Bits += width;
        while (Bits >= 8) {
            Bytes.push_back(char(Acc & 0xFF));
            Acc >>= 8;
            Bits -= 8;
        }
    }
    void Flush() {
        if (Bits > 0)
            Bytes.push_back(char(Acc & 0xFF));
        Acc = 0;
        Bits = 0;
    }
};

std::string Lzw(const std::vector<unsigned char>& pixels, int minCodeSize) {
    const unsigned clear = 1u << minCodeSize, end = clear + 1;
    TBitWriter out;
    // (prefix code << 8 | next index) -> code; a plain table of 4096 x 256.
    std::vector<int> table(4096 * 256, -1);
    unsigned next = end + 1;
    int width = minCodeSize + 1;
    out.Put(clear, width);
    int prefix = -1;
    for (unsigned char k : pixels) {
        if (prefix < 0) {
            prefix = k;
            continue;
        }
        const int found = table[std::size_t(prefix) * 256 + k];
        if (found >= 0) {
            prefix = found;
            continue;
        }
        out.Put(unsigned(prefix), width);
        if (next < 4096) {
            table[std::size_t(prefix) * 256 + k] = int(next);
            if (next == (1u << width) && width < 12)
                ++width;
            ++next;
        } else {
            out.Put(clear, width);
            std::fill(table.begin(), table.end(), -1);
            next = end + 1;
            width = minCodeSize + 1;
        }
        prefix = k;
    }
    if (prefix >= 0)
        out.Put(unsigned(prefix), width);
    out.Put(end, width);
    out.Flush();
    return out.Bytes;
}

void Put16(std::string& s, int v) {
    s.push_back(char(v & 0xFF));
    s.push_back(char((v >> 8) & 0xFF));
}

// Frames of equal size; delay in hundredths of a second.
std::string EncodeGif(const std::vector<QImage>& frames, int delay) {
    const int w = frames.front().width(), h = frames.front().height();
    // Palette: index 0 transparent, then the colours the frames use (at most 255).
    std::vector<QRgb> palette{0};
    std::vector<std::vector<unsigned char>> indexed;
    for (const QImage& frame : frames) {
        const QImage f = frame.convertToFormat(QImage::Format_ARGB32);
        std::vector<unsigned char> idx;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const QRgb c = f.pixel(x, y);
                if (qAlpha(c) < 128) {
                    idx.push_back(0);
                    continue;
                }
                // Nearest palette colour, adding new ones while there is room.
                const QRgb opaque = c | 0xFF000000u;
                int best = -1, bestDist = 1 << 30;
                for (std::size_t i = 1; i < palette.size(); ++i) {
                    const int dr = qRed(palette[i]) - qRed(opaque);
                    const int dg = qGreen(palette[i]) - qGreen(opaque);
                    const int db = qBlue(palette[i]) - qBlue(opaque);
                    const int d = dr * dr + dg * dg + db * db;
                    if (d < bestDist) {
                        bestDist = d;
                        best = int(i);
                    }
                }
                if ((best < 0 || bestDist > 0) && palette.size() < 256) {
                    palette.push_back(opaque);
                    best = int(palette.size() - 1);
                }
                idx.push_back((unsigned char)best);
            }
        indexed.push_back(std::move(idx));
    }
    int bits = 1;
    while ((1 << bits) < int(palette.size()))
        ++bits;
    palette.resize(std::size_t(1) << bits, 0);

    std::string gif = "GIF89a";
    Put16(gif, w);
    Put16(gif, h);
    gif.push_back(char(0x80 | ((bits - 1) << 4) | (bits - 1))); // global table
    gif.push_back(0);                                           // background index
    gif.push_back(0);                                           // aspect
    for (QRgb c : palette) {
        gif.push_back(char(qRed(c)));
        gif.push_back(char(qGreen(c)));
        gif.push_back(char(qBlue(c)));
    }
    // Loop forever.
    gif += std::string("\x21\xFF\x0B", 3) + "NETSCAPE2.0" + std::string("\x03\x01\x00\x00\x00", 5);
    const int minCodeSize = std::max(bits, 2);
    for (const auto& idx : indexed) {
        // Graphic control: restore to background, transparent index 0.
        gif += std::string("\x21\xF9\x04\x09", 4);
        Put16(gif, delay);
        gif += std::string("\x00\x00", 2);
        gif.push_back(',');
        Put16(gif, 0);
        Put16(gif, 0);
        Put16(gif, w);
        Put16(gif, h);
        gif.push_back(0);
        gif.push_back(char(minCodeSize));
        const std::string data = Lzw(idx, minCodeSize);
        for (std::size_t at = 0; at < data.size(); at += 255) {
            const std::size_t n = std::min<std::size_t>(255, data.size() - at);
            gif.push_back(char(n));
            gif += data.substr(at, n);
        }
        gif.push_back(0);
    }
    gif.push_back(';');
    return gif;
}

std::string Spinner() {
    std::vector<QImage> frames;
    const int steps = 12;
    for (int i = 0; i < steps; ++i)
        frames.push_back(SpinnerFrame(i, steps));
    return EncodeGif(frames, 40);
}

// The viewer's faces: a monitor ("设置壁纸") and a red cross ("关闭"),
// light on the dark picture behind them; the hot faces are brighter.
QImage Monitor(bool hot) {
    QImage image = Blank(32, 28);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor frame = hot ? QColor(255, 255, 255) : QColor(225, 228, 232);
    // A dark edge keeps the light frame visible on a light picture.
    p.setPen(QPen(QColor(60, 64, 70), 4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(3, 3, 26, 17), 2, 2);
    p.setPen(QPen(frame, 2));
    p.setBrush(hot ? QColor(80, 160, 235) : QColor(50, 120, 200));
    p.drawRoundedRect(QRectF(3, 3, 26, 17), 2, 2);
    p.setPen(QPen(QColor(60, 64, 70), 1));
    p.setBrush(frame);
    p.drawRect(QRectF(14, 20.5, 4, 3));
    p.drawRoundedRect(QRectF(9, 23.5, 14, 2.5), 1, 1);
    return image;
}

QImage CloseCross(bool hot) {
    QImage image = Blank(28, 28);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(hot ? QColor(240, 60, 50) : QColor(210, 30, 30));
    p.drawEllipse(QRectF(3, 2, 22, 22));
    p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9.5, 8.5), QPointF(18.5, 17.5));
    p.drawLine(QPointF(18.5, 8.5), QPointF(9.5, 17.5));
    return image;
}

bool SavePng(const QImage& image, const QString& dir, const char* name) {
    const QString path = dir + "/" + QString::fromLatin1(name);
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

bool SaveBytes(const std::string& bytes, const QString& dir, const char* name) {
    const std::string path = (dir + "/" + QString::fromLatin1(name)).toStdString();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (out.flush())
        return true;
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
}

} // namespace

bool DrawWallpaperPictures(const QString& dir) {
    bool ok = true;
    ok &= SavePng(ActionStrip(), dir, "wallpaper_strip.png");
    ok &= SavePng(DownloadedMark(), dir, "wallpaper_downed.png");
    ok &= SavePng(ProgressFrame(), dir, "wallpaper_progress_frame.png");
    ok &= SaveBytes(Spinner(), dir, "wallpaper_loading.gif");
    ok &= SavePng(Monitor(false), dir, "view_wallpaper.png");
    ok &= SavePng(Monitor(true), dir, "view_wallpaper_hot.png");
    ok &= SavePng(CloseCross(false), dir, "view_close.png");
    ok &= SavePng(CloseCross(true), dir, "view_close_hot.png");
    return ok;
}
