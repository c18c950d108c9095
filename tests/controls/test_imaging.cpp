#include "controls/Imaging.h"
#include "tests/controls/Pictures.h"
#include "tests/support/TestSupport.h"

#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

namespace velmora::test {
namespace {

void PutLe32(QByteArray& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}
void PutLe16(QByteArray& b, std::uint16_t v) {
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}

// A BMP file header and info header; pixel bytes follow.
QByteArray BmpHeader(std::int32_t w, std::int32_t h, int bits, std::uint32_t pixelBytes) {
    QByteArray b("BM");
    PutLe32(b, 54 + pixelBytes);
    PutLe32(b, 0);
    PutLe32(b, 54);
    PutLe32(b, 40);
    PutLe32(b, std::uint32_t(w));
    PutLe32(b, std::uint32_t(h));
    PutLe16(b, 1);
    PutLe16(b, std::uint16_t(bits));
    PutLe32(b, 0); // no compression
    PutLe32(b, pixelBytes);
    PutLe32(b, 2835);
    PutLe32(b, 2835);
    PutLe32(b, 0);
    PutLe32(b, 0);
    return b;
}

// A 2 × 1, 32-bit top-down BMP whose pixels carry their own alpha.
QByteArray Bmp32WithAlpha() {
    QByteArray b = BmpHeader(2, -1, 32, 8);
    const unsigned char px[] = {0x00, 0x00, 0x80, 0x80,  // half-transparent dark red
                                0x10, 0x20, 0x30, 0xFF}; // opaque
    b.append(reinterpret_cast<const char*>(px), 8);
    return b;
}

// A 1 × 1 GIF with two frames (red, then blue) shown 100 ms each.
QByteArray TwoFrameGif() {
    const unsigned char bytes[] = {
        'G',  'I',  'F', '8', '9', 'a',  1, 0, 1, 0, 0x80, 0, 0, // screen, 2-colour table
        0xFF, 0,    0,   0,   0,   0xFF,                         // red, blue
        0x21, 0xF9, 4,   0,   10,  0,    0, 0,                   // 10 cs delay
        0x2C, 0,    0,   0,   0,   1,    0, 1, 0, 0, 2,    2, 0x44, 0x01, 0, // frame of colour 0
        0x21, 0xF9, 4,   0,   10,  0,    0, 0,                               //
        0x2C, 0,    0,   0,   0,   1,    0, 1, 0, 0, 2,    2, 0x4C, 0x01, 0, // frame of colour 1
        0x3B};
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

QImage Checker(int w, int h) {
    return pics::MakeImage(w, h, [](int x, int y) {
        return ((x + y) % 2) ? qRgba(255, 0, 0, 255) : qRgba(0, 0, 255, 128);
    });
}

} // namespace

TEST(Decoder, DecodesEveryWebFormatFromMemory) {
    const QImage opaque = pics::MakeImage(
        7, 5, [](int x, int y) { return qRgb(x * 30, y * 40, 90); }, QImage::Format_RGB32);
    struct Case {
        const char* format;
        QImage image;
    } cases[] = {{"jpeg", opaque}, {"png", Checker(7, 5)}, {"bmp", opaque}};
    for (const auto& c : cases) {
        TGPBitmap bitmap(pics::Encode(c.image, c.format));
        EXPECT_EQ(bitmap.GetLastStatus(), TGPBitmap::Ok) << c.format;
        EXPECT_EQ(bitmap.GetWidth(), 7u) << c.format;
        EXPECT_EQ(bitmap.GetHeight(), 5u) << c.format;
        EXPECT_EQ(bitmap.GetHBITMAP().format(), QImage::Format_ARGB32_Premultiplied) << c.format;
    }
    TGPBitmap gif(TwoFrameGif());
    EXPECT_EQ(gif.GetWidth(), 1u);
    EXPECT_EQ(gif.GetHBITMAP().pixel(0, 0), qRgb(255, 0, 0));
}

TEST(Decoder, PngAlphaBecomesPremultiplied) {
    TGPBitmap bitmap(pics::Encode(Checker(2, 1), "png"));
    const QImage image = bitmap.GetHBITMAP(0);
    const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(0));
    // Blue at alpha 128: blue byte 128, alpha byte 128 (B, G, R, A in memory).
    EXPECT_EQ(row[0], 0x80000080u);
    EXPECT_EQ(row[1], 0xFFFF0000u);
}

TEST(Decoder, BytesThatAreNoPictureReadAsWidthZero) {
    const QByteArray png = pics::Encode(Checker(4, 4), "png");
    for (const QByteArray& bytes : {QByteArray(), QByteArray("hello world, this is text"),
                                    png.left(20), QByteArray(1000, '\0')}) {
        TGPBitmap bitmap(bytes);
        EXPECT_EQ(bitmap.GetWidth(), 0u);
        EXPECT_EQ(bitmap.GetHeight(), 0u);
        EXPECT_NE(bitmap.GetLastStatus(), TGPBitmap::Ok);
    }
}

TEST(Decoder, PictureOverTheAllocationLimitIsNoPicture) {
    // 60000 × 60000 × 4 bytes would be 13 GiB; the header alone claims it.
    TGPBitmap bitmap(BmpHeader(60000, 60000, 24, 0) + QByteArray(64, '\0'));
    EXPECT_EQ(bitmap.GetWidth(), 0u);
    TPngGraphic png;
    EXPECT_THROW(png.LoadFromStream(BmpHeader(60000, 60000, 32, 0) + QByteArray(64, '\0')),
                 EInvalidGraphic);
    EXPECT_TRUE(png.Empty());
}

TEST(PngGraphic, ShortStreamsHoldNoPicture) {
    TPngGraphic png;
    png.LoadFromStream(QByteArray());
    EXPECT_TRUE(png.Empty());
    EXPECT_EQ(png.Width(), 0);
    EXPECT_EQ(png.Height(), 0);
    for (int n : {1, 13}) {
        png.LoadFromStream(pics::Encode(Checker(3, 3), "png").left(n));
        EXPECT_TRUE(png.Empty()) << n;
    }
    EXPECT_THROW(png.LoadFromStream(QByteArray(40, 'x')), EInvalidGraphic);
    EXPECT_TRUE(png.Empty());
}

TEST(PngGraphic, BmpBytesLoadAsBmpKeepingAlphaOnlyAt32Bits) {
    TPngGraphic png;
    png.LoadFromStream(Bmp32WithAlpha());
    ASSERT_EQ(png.Width(), 2);
    std::vector<std::uint32_t> pixels;
    png.Image()->CopyPixels(pixels);
    EXPECT_EQ(pixels[0], 0x80800000u);
    EXPECT_EQ(pixels[1], 0xFF302010u);

    png.LoadFromStream(pics::Encode(Checker(2, 2), "bmp")); // 24 or 32 bit without alpha
    png.Image()->CopyPixels(pixels);
    for (auto p : pixels)
        EXPECT_EQ(p >> 24, 0xFFu);
}

TEST(PngGraphic, DrawPartShrinksTheSourceWhenEnlarging) {
    TPngGraphic png;
    // Column 27 and row 27 are red, the rest blue.
    png.LoadFromStream(pics::Encode(pics::MakeImage(28, 28,
                                                    [](int x, int y) {
                                                        return (x == 27 || y == 27)
                                                                   ? qRgb(255, 0, 0)
                                                                   : qRgb(0, 0, 255);
                                                    }),
                                    "png"));
    auto draw = [&](QRect dest, QRect source) {
        QImage canvas(60, 60, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::white);
        QPainter p(&canvas);
        png.DrawPart(p, dest, source);
        return canvas;
    };
    auto countRed = [](const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == qRgb(255, 0, 0);
        return n;
    };
    EXPECT_EQ(countRed(draw(QRect(0, 0, 28, 28), QRect(0, 0, 28, 28))), 28 + 27);
    const QImage big = draw(QRect(0, 0, 56, 56), QRect(0, 0, 28, 28));
    EXPECT_EQ(countRed(big), 0);
    EXPECT_EQ(big.pixel(55, 55), qRgb(0, 0, 255));
    for (QRect dest : {QRect(0, 0, 0, 10), QRect(0, 0, 10, 0)})
        EXPECT_EQ(draw(dest, QRect(0, 0, 28, 28)).pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(draw(QRect(0, 0, 10, 10), QRect(0, 0, 0, 0)).pixel(0, 0), qRgb(255, 255, 255));

    // A picture one pixel wide keeps its single column when enlarged.
    TPngGraphic thin;
    thin.LoadFromStream(
        pics::Encode(pics::MakeImage(1, 4, [](int, int) { return qRgb(0, 255, 0); }), "png"));
    QImage canvas(20, 20, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    thin.DrawPart(p, QRect(0, 0, 20, 20), QRect(0, 0, 1, 4));
    p.end();
    EXPECT_EQ(canvas.pixel(19, 0), qRgb(0, 255, 0));
}

TEST(PngGraphic, SameContentAssignAndRoundTrip) {
    TPngGraphic a, b;
    EXPECT_TRUE(a.SameContent(b));
    a.LoadFromStream(pics::Encode(Checker(3, 2), "png"));
    b.Assign(a);
    EXPECT_TRUE(a.SameContent(b));
    QImage changed = Checker(3, 2);
    changed.setPixel(2, 1, qRgb(1, 2, 3));
    b.LoadFromStream(pics::Encode(changed, "png"));
    EXPECT_FALSE(a.SameContent(b));

    // Saved and loaded again, the picture is the same.
    QByteArray saved;
    a.SaveToStream(saved);
    TPngGraphic c;
    c.LoadFromStream(saved);
    EXPECT_TRUE(a.SameContent(c));

    b.Assign(TPngGraphic());
    EXPECT_TRUE(b.Empty());
    EXPECT_THROW(b.Assign(TGIFImage()), EInvalidGraphic);
}

TEST(PictureFormats, KindByExtensionCaseInsensitiveLaterWins) {
    test::TTempDir dir;
    const QByteArray png = pics::Encode(Checker(5, 4), "png");
    const QByteArray jpeg =
        pics::Encode(Checker(5, 4).convertToFormat(QImage::Format_RGB32), "jpeg");
    struct Case {
        const char* name;
        const QByteArray* bytes;
        const char* kind;
    } cases[] = {{"a.PNG", &png, "TPngGraphic"},
                 {"b.png", &png, "TPngGraphic"},
                 {"c.Png", &png, "TPngGraphic"},
                 {"d.jpeg", &jpeg, "TJPEGImage"},
                 {"e.jpg", &jpeg, "TJPEGImage"}};
    for (const auto& c : cases) {
        const auto path = dir.Path() / c.name;
        test::WriteFile(path, c.bytes->toStdString());
        TPicture picture;
        picture.LoadFromFile(path.string());
        ASSERT_NE(picture.Graphic(), nullptr) << c.name;
        EXPECT_STREQ(picture.Graphic()->ClassName(), c.kind) << c.name;
        EXPECT_EQ(picture.Width(), 5) << c.name;
    }

    TPictureFormats formats;
    RegisterDefaultPictureFormats(formats);
    formats.Register("PNG", "Bitmaps", "TBitmap", [] { return std::make_unique<TBitmap>(); });
    TPicture picture;
    picture.LoadFromFile((dir.Path() / "a.PNG").string(), formats);
    EXPECT_STREQ(picture.Graphic()->ClassName(), "TBitmap");

    // An unknown extension or undecodable content raises and keeps the picture.
    test::WriteFile(dir.Path() / "x.tga", "whatever");
    EXPECT_THROW(picture.LoadFromFile((dir.Path() / "x.tga").string()), EInvalidGraphic);
    test::WriteFile(dir.Path() / "broken.jpg", "not a jpeg at all");
    EXPECT_THROW(picture.LoadFromFile((dir.Path() / "broken.jpg").string()), EInvalidGraphic);
    EXPECT_STREQ(picture.Graphic()->ClassName(), "TBitmap");
}

TEST(PictureFormats, StoredPictures) {
    TPicture png;
    png.SetGraphic(std::make_unique<TPngGraphic>());
    static_cast<TPngGraphic*>(png.Graphic())->LoadFromStream(pics::Encode(Checker(4, 3), "png"));
    const QByteArray stored = png.WriteStored();
    EXPECT_EQ(stored.left(12), QByteArray("\x0bTPngGraphic"));
    EXPECT_TRUE(stored.mid(12).startsWith("\x89PNG"));

    TPicture back;
    back.ReadStored(stored);
    ASSERT_STREQ(back.Graphic()->ClassName(), "TPngGraphic");
    EXPECT_TRUE(static_cast<TPngGraphic*>(back.Graphic())
                    ->SameContent(*static_cast<TPngGraphic*>(png.Graphic())));

    TPicture bmp;
    bmp.SetGraphic(std::make_unique<TBitmap>(Checker(3, 3)));
    TPicture bmpBack;
    bmpBack.ReadStored(bmp.WriteStored());
    EXPECT_EQ(bmpBack.Width(), 3);

    // An unregistered kind loads as an empty picture without error.
    TPicture unknown;
    unknown.ReadStored(QByteArray("\x0aTMetafile1") + QByteArray(30, 'z'));
    EXPECT_FALSE(unknown.HasGraphic());
    TPictureFormats noPng;
    RegisterDefaultPictureFormats(noPng);
    noPng.Unregister("TPngGraphic");
    unknown.ReadStored(stored, noPng);
    EXPECT_FALSE(unknown.HasGraphic());
}

TEST(GifImage, PlaysAtASpeedInPercent) {
    TGIFImage gif;
    gif.LoadFromStream(TwoFrameGif());
    ASSERT_EQ(gif.FrameCount(), 2);
    struct Case {
        int speed, kept, delay;
    } cases[] = {{100, 100, 100},  {200, 200, 50}, {50, 50, 200},
                 {5000, 1000, 10}, {-3, 0, -1},    {0, 0, -1}};
    for (const auto& c : cases) {
        gif.SetAnimationSpeed(c.speed);
        EXPECT_EQ(gif.AnimationSpeed(), c.kept) << c.speed;
        EXPECT_EQ(gif.FrameDelay(0), c.delay) << c.speed;
    }
    int changes = 0;
    gif.OnChange = [&] { ++changes; };
    EXPECT_EQ(gif.ToImage().pixel(0, 0), qRgb(255, 0, 0));
    gif.NextFrame();
    EXPECT_EQ(gif.ToImage().pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(changes, 1);

    // Played by its timer at ten times the speed.
    gif.SetAnimationSpeed(1000);
    gif.SetAnimate(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes >= 4; }, 5000));
    gif.SetAnimate(false);
}

TEST(Picture, SaveToFileReplacesTheFileWholeOrNotAtAll) {
    namespace fs = std::filesystem;
    test::TTempDir dir;
    auto picture = [](QColor colour) {
        TPicture p;
        QImage image(8, 6, QImage::Format_RGB32);
        image.fill(colour);
        p.SetGraphic(std::make_unique<TBitmap>(image));
        return p;
    };
    const fs::path target = dir / "fav.bmp";
    picture(Qt::red).SaveToFile(target.string());
    // A file beside it under a name another save might use for its temporary
    // copy is not this save's to touch.
    test::WriteFile(dir / "fav.bmp.part", "another save in progress");
    picture(Qt::blue).SaveToFile(target.string());
    TPicture loaded;
    loaded.LoadFromFile(target.string());
    EXPECT_EQ(loaded.Graphic()->ToImage().pixelColor(3, 3), QColor(Qt::blue));
    EXPECT_EQ(test::ReadFile(dir / "fav.bmp.part"), "another save in progress");

    // When the new file cannot take the name, what was there stays and no
    // temporary file is left.
    const fs::path taken = dir / "taken.bmp";
    test::WriteFile(taken / "inside.txt", "kept");
    EXPECT_THROW(picture(Qt::green).SaveToFile(taken.string()), EInvalidGraphic);
    EXPECT_EQ(test::ReadFile(taken / "inside.txt"), "kept");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"fav.bmp", "fav.bmp.part", "taken.bmp"}));
}

} // namespace velmora::test
