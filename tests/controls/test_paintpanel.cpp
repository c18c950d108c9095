#include "controls/PaintPanel.h"
#include "tests/controls/Pictures.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace velmora::test {
namespace {

// Every pixel tells where it came from: red = column × 7, green = row × 5.
QRgb Source(int x, int y) {
    return qRgb(x * 7 % 256, y * 5 % 256, 77);
}

QImage SourceImage(int w, int h) {
    return pics::MakeImage(w, h, Source, QImage::Format_RGB32);
}

void SetBitmap(TPaintPanel& panel, const QImage& image) {
    panel.Picture().SetGraphic(std::make_unique<TBitmap>(image));
}

// Draws onto white so that uncovered pixels show.
QImage Stretch(const QImage& source, int w, int h, TVertStretchType v, THorzStretchType hz) {
    QImage canvas(w, h, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    DrawStretchedPicture(TBitmap(source), p, w, h, v, hz);
    return canvas;
}

QRect InkBox(const QImage& image, QRgb background) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

TEST(PaintPanel, TitleStripRepeatsItsRightColumnOrStretches) {
    TPaintPanel panel;
    panel.resize(200, 22);
    SetBitmap(panel, SourceImage(3, 22));
    panel.SetPicHorzStretch(hstRight);
    QImage shot = pics::Grab(panel);
    for (int y : {0, 11, 21}) {
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(shot.pixel(x, y), Source(x, y)) << x << "," << y;
        for (int x = 3; x < 200; ++x)
            ASSERT_EQ(shot.pixel(x, y), Source(2, y)) << x << "," << y;
    }
    panel.SetPicHorzStretch(hstAll);
    shot = pics::Grab(panel);
    EXPECT_EQ(shot.pixel(0, 5), Source(0, 5));
    EXPECT_EQ(shot.pixel(100, 5), Source(1, 5));
    EXPECT_EQ(shot.pixel(199, 5), Source(2, 5));
}

TEST(PaintPanel, ProgressBoxSlicesMiddleAndCentre) {
    TPaintPanel panel;
    panel.resize(294, 85);
    SetBitmap(panel, SourceImage(36, 42));
    panel.SetPicHorzStretch(hstMiddle);
    panel.SetPicVertStretch(vstCenter);
    const QImage shot = pics::Grab(panel);
    auto sx = [](int x) { return x < 18 ? x : x < 276 ? 18 : x - 258; };
    auto sy = [](int y) { return y < 21 ? y : y < 64 ? 21 : y - 43; };
    for (int y = 0; y < 85; ++y)
        for (int x = 0; x < 294; ++x)
            ASSERT_EQ(shot.pixel(x, y), Source(sx(x), sy(y))) << x << "," << y;
}

TEST(PaintPanel, SliceRulesAtTheEdges) {
    // An odd width under hstMiddle squeezes the right part and leaves column
    // m + d undrawn.
    QImage odd = Stretch(SourceImage(37, 4), 100, 4, vstNone, hstMiddle);
    EXPECT_EQ(odd.pixel(17, 0), Source(17, 0));
    EXPECT_EQ(odd.pixel(80, 0), Source(18, 0));
    EXPECT_EQ(odd.pixel(81, 0), qRgb(255, 255, 255));
    EXPECT_EQ(odd.pixel(82, 0), Source(18, 0));
    EXPECT_EQ(odd.pixel(99, 0), Source(36, 0));

    const QImage left = Stretch(SourceImage(3, 2), 10, 2, vstNone, hstLeft);
    for (int x = 0; x < 7; ++x)
        EXPECT_EQ(left.pixel(x, 1), Source(0, 1)) << x;
    EXPECT_EQ(left.pixel(9, 1), Source(2, 1));

    const QImage bottom = Stretch(SourceImage(2, 3), 2, 9, vstBottom, hstNone);
    EXPECT_EQ(bottom.pixel(1, 2), Source(1, 2));
    EXPECT_EQ(bottom.pixel(1, 8), Source(1, 2));
    const QImage top = Stretch(SourceImage(2, 3), 2, 9, vstTop, hstNone);
    EXPECT_EQ(top.pixel(0, 5), Source(0, 0));
    EXPECT_EQ(top.pixel(0, 8), Source(0, 2));

    // Under none the picture is drawn once; the rest is not touched.
    const QImage none = Stretch(SourceImage(3, 3), 6, 6, vstNone, hstNone);
    EXPECT_EQ(none.pixel(2, 2), Source(2, 2));
    EXPECT_EQ(none.pixel(4, 4), qRgb(255, 255, 255));
    // A target narrower than the picture draws what fits, and nothing mirrored.
    const QImage narrow = Stretch(SourceImage(10, 2), 4, 2, vstNone, hstRight);
    EXPECT_EQ(narrow.pixel(3, 0), Source(3, 0));
}

TEST(PaintPanel, BevelFrameWidthOneAndTwo) {
    TPaintPanel panel;
    panel.resize(50, 30);
    panel.SetColor(Qt::white);
    panel.SetBevelColor(Qt::red);
    panel.SetBevelStyle(bsSingle);
    const QRgb red = qRgb(255, 0, 0), white = qRgb(255, 255, 255);
    struct Case {
        int width;
        std::vector<int> redColumns, whiteColumns;
    } cases[] = {{1, {0, 49}, {1, 48}}, {2, {0, 1, 48, 49}, {2, 47}}};
    for (const auto& c : cases) {
        panel.SetBevelWidth(c.width);
        const QImage shot = pics::Grab(panel);
        for (int x : c.redColumns) {
            EXPECT_EQ(shot.pixel(x, 15), red) << c.width << " column " << x;
            EXPECT_EQ(shot.pixel(25, x * 29 / 49), red) << c.width << " row " << x * 29 / 49;
        }
        for (int x : c.whiteColumns)
            EXPECT_EQ(shot.pixel(x, 15), white) << c.width << " column " << x;
    }
}

TEST(PaintPanel, OnPaintDrawsOutlinesOnlyAndCaptionFollowsAlignment) {
    TPaintPanel panel;
    panel.resize(100, 60);
    panel.SetColor(Qt::white);
    panel.OnPaint = [](TPaintPanel*, QPainter& canvas) { canvas.drawRect(10, 5, 20, 10); };
    QImage shot = pics::Grab(panel);
    EXPECT_EQ(shot.pixel(10, 5), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(20, 10), qRgb(255, 255, 255));
    panel.OnPaint = nullptr;

    QFont font = panel.font();
    font.setPixelSize(10);
    panel.setFont(font);
    panel.SetCaption("WW");
    const QRgb white = qRgb(255, 255, 255);
    struct Case {
        TAlignment h;
        TVerticalAlignment v;
        std::function<bool(QRect)> ok;
    } cases[] = {
        {taLeftJustify, taAlignTop, [](QRect b) { return b.left() < 5 && b.top() < 8; }},
        {taRightJustify, taAlignBottom, [](QRect b) { return b.right() > 94 && b.bottom() > 52; }},
        {taCenter, taVerticalCenter,
         [](QRect b) {
             return std::abs(b.center().x() - 50) <= 2 && std::abs(b.center().y() - 30) <= 4;
         }},
    };
    for (const auto& c : cases) {
        panel.SetAlignment(c.h);
        panel.SetVerticalAlignment(c.v);
        const QRect box = InkBox(pics::Grab(panel), white);
        EXPECT_TRUE(c.ok(box)) << c.h << "/" << c.v << " box " << box.x() << "," << box.y() << " "
                               << box.width() << "x" << box.height();
    }
}

TEST(PaintPanel, AutoSizeFollowsThePicture) {
    TPaintPanel panel;
    panel.resize(50, 50);
    panel.SetAutoWidth(true); // no picture: ignored
    EXPECT_FALSE(panel.AutoWidth());
    SetBitmap(panel, SourceImage(30, 20));
    panel.SetAutoWidth(true);
    EXPECT_EQ(panel.width(), 30);
    EXPECT_EQ(panel.height(), 50);
    panel.SetAutoHeight(true);
    EXPECT_EQ(panel.height(), 20);
    SetBitmap(panel, SourceImage(12, 8));
    EXPECT_EQ(panel.size(), QSize(12, 8));
}

} // namespace velmora::test
