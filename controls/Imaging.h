#pragma once
// Picture handling: the decoder for downloaded bytes, the graphic kinds a
// picture can hold, the picture-format registry and stored pictures.
//
// Every decoded picture is a QImage in Format_ARGB32_Premultiplied: rows of
// 32-bit values, top row first, blue, green, red, alpha in memory order.

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class QPainter;
class QTimer;

namespace velmora {

// Largest picture the decoders accept, in megabytes of decoded pixels. A file
// that declares a larger size is treated as no picture rather than letting a
// few bytes of header claim gigabytes of memory.
inline constexpr int PictureAllocationLimitMb = 128;

// Decodes JPEG, PNG, GIF (first frame), BMP and ICO bytes held in memory.
// Returns a null image for bytes that are no picture or that exceed the limit.
QImage DecodePicture(const QByteArray& bytes);

// Raised by picture operations that cannot go on (unknown extension, content
// the kind cannot decode, encoder failure).
class EInvalidGraphic : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* InvalidOperationText = "Invalid operation in GDI+";

// The decoder the wallpaper search uses for downloaded bytes. It never throws:
// a failure is recorded and width and height read as 0.
class TGPBitmap {
public:
    enum TStatus { Ok = 0, InvalidParameter = 2, OutOfMemory = 3, UnknownImageFormat = 13 };

    explicit TGPBitmap(const QByteArray& bytes);
    explicit TGPBitmap(std::string_view bytes);

    TStatus GetLastStatus() const { return FLastStatus; }
    unsigned GetWidth() const;
    unsigned GetHeight() const;
    // The picture as a 32-bit bitmap laid over the background colour (ARGB);
    // the program passes 0, transparent black, which keeps the alpha as it is.
    QImage GetHBITMAP(std::uint32_t background = 0) const;

private:
    QImage FImage;
    TStatus FLastStatus = Ok;
};

// An image over a premultiplied pixel buffer. Copies share the buffer until
// one of them writes (QImage's implicit sharing), so Duplicate costs nothing.
class TNativeImage {
public:
    TNativeImage() = default;
    explicit TNativeImage(QImage image);

    static std::unique_ptr<TNativeImage> MakeFromBitmap(const QImage& bitmap);
    static std::unique_ptr<TNativeImage> MakeFromPixels(int width, int height, bool hasAlpha,
                                                        std::vector<std::uint32_t> pixels);
    // No picture for fewer than 14 bytes; "BM" bytes load as a BMP file.
    static std::unique_ptr<TNativeImage> MakeFromStream(const QByteArray& bytes);
    std::unique_ptr<TNativeImage> Duplicate() const;

    void DropHandle() { FImage = QImage(); }
    // Replaces the picture by one decoded from the bytes; throws on failure
    // and leaves no picture behind.
    void ReadStream(const QByteArray& bytes);
    QImage RenderToBitmap() const { return FImage; }
    void DrawPart(QPainter& painter, const QRect& dest, const QRect& source) const;
    int Width() const { return FImage.width(); }
    int Height() const { return FImage.height(); }
    bool HasImage() const { return !FImage.isNull(); }
    void CopyPixels(std::vector<std::uint32_t>& pixels) const;
    void WritePng(QByteArray& stream) const;
    const QImage& Image() const { return FImage; }

private:
    QImage FImage;
};

// A graphic kind, as a picture holds one.
class TGraphic {
public:
    TGraphic() = default;
    // A copy starts without listeners: they belong to the original's owner.
    TGraphic(const TGraphic&) {}
    TGraphic& operator=(const TGraphic&) { return *this; }
    virtual ~TGraphic() = default;
    virtual const char* ClassName() const = 0;
    virtual std::unique_ptr<TGraphic> Clone() const = 0;
    virtual bool Empty() const { return Width() < 1 || Height() < 1; }
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Transparent() const { return false; }
    // Draws the graphic scaled into the rectangle, blending by its alpha.
    virtual void Draw(QPainter& painter, const QRect& rect) const;
    // Replaces the content by the bytes of this kind's own format; throws
    // EInvalidGraphic when they cannot be decoded.
    virtual void LoadFromStream(const QByteArray& bytes) = 0;
    virtual void SaveToStream(QByteArray& stream) const = 0;
    // The pixels as a premultiplied 32-bit image (null when empty).
    virtual QImage ToImage() const = 0;
    // Called when the content changes (an animation's next frame, a load).
    std::function<void()> OnChange;

protected:
    void Changed() const {
        if (OnChange)
            OnChange();
    }
};

// A plain 32-bit bitmap; stores as BMP.
class TBitmap : public TGraphic {
public:
    TBitmap() = default;
    explicit TBitmap(QImage image);
    const char* ClassName() const override { return "TBitmap"; }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TBitmap>(*this); }
    int Width() const override { return FImage.width(); }
    int Height() const override { return FImage.height(); }
    void LoadFromStream(const QByteArray& bytes) override;
    void SaveToStream(QByteArray& stream) const override;
    QImage ToImage() const override { return FImage; }

protected:
    QImage FImage;
};

class TJPEGImage : public TBitmap {
public:
    using TBitmap::TBitmap;
    const char* ClassName() const override { return "TJPEGImage"; }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TJPEGImage>(*this); }
    void SaveToStream(QByteArray& stream) const override;
};

class TIcon : public TBitmap {
public:
    using TBitmap::TBitmap;
    const char* ClassName() const override { return "TIcon"; }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TIcon>(*this); }
    bool Transparent() const override { return true; }
    void SaveToStream(QByteArray& stream) const override;
};

// A GIF picture; multi-frame pictures can play. Each frame is shown for its
// stored delay × 100 / speed milliseconds.
class TGIFImage : public TGraphic {
public:
    TGIFImage();
    TGIFImage(const TGIFImage& other);
    ~TGIFImage() override;
    const char* ClassName() const override { return "TGIFImage"; }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TGIFImage>(*this); }
    bool Transparent() const override { return true; }
    int Width() const override;
    int Height() const override;
    void LoadFromStream(const QByteArray& bytes) override;
    void SaveToStream(QByteArray& stream) const override { stream.append(FData); }
    QImage ToImage() const override;

    int FrameCount() const { return static_cast<int>(FFrames.size()); }
    int CurrentFrame() const { return FCurrent; }
    // Speed in percent, kept within 0 to 1000; 0 holds the current frame.
    int AnimationSpeed() const { return FSpeed; }
    void SetAnimationSpeed(int percent);
    bool Animate() const { return FAnimate; }
    void SetAnimate(bool on);
    // How long the frame stays at the current speed, in milliseconds; -1 when
    // the animation holds still.
    int FrameDelay(int frame) const;
    // Shows the next frame (wrapping), as the timer does.
    void NextFrame();

private:
    struct TFrame {
        QImage Image;
        int Delay = 0;
    };
    void Schedule();
    QByteArray FData;
    std::vector<TFrame> FFrames;
    int FCurrent = 0;
    int FSpeed = 100;
    bool FAnimate = false;
    std::unique_ptr<QTimer> FTimer;
};

// A PNG picture with alpha, drawn blended. Stores as a complete PNG file.
class TPngGraphic : public TGraphic {
public:
    TPngGraphic() = default;
    TPngGraphic(const TPngGraphic& other);
    TPngGraphic& operator=(const TPngGraphic& other);
    const char* ClassName() const override { return "TPngGraphic"; }
    std::unique_ptr<TGraphic> Clone() const override {
        return std::make_unique<TPngGraphic>(*this);
    }
    bool Transparent() const override { return true; }
    int Width() const override;
    int Height() const override;
    void Draw(QPainter& painter, const QRect& rect) const override;
    void LoadFromStream(const QByteArray& bytes) override;
    void SaveToStream(QByteArray& stream) const override;
    QImage ToImage() const override { return FImage ? FImage->RenderToBitmap() : QImage(); }

    // Assign from another graphic: a PNG is shared, a bitmap kind is taken
    // over; anything else throws EInvalidGraphic.
    void Assign(const TGraphic& source);
    bool SameContent(const TPngGraphic& other) const;
    QImage RenderToBitmap() const { return ToImage(); }
    void TakeFrom(const QImage& bitmap);
    void PaintTo(QPainter& painter, const QRect& rect) const;
    void PaintPart(QPainter& painter, const QRect& dest, const QRect& source) const;
    void DrawPart(QPainter& painter, const QRect& dest, const QRect& source) const {
        PaintPart(painter, dest, source);
    }
    const TNativeImage* Image() const { return FImage.get(); }

private:
    void SetImage(std::unique_ptr<TNativeImage> image);
    std::unique_ptr<TNativeImage> FImage;
};

// The picture-format registry: graphic kinds by file extension (looked up in
// lower case) and by class name (for stored pictures). Lookups run from the
// latest registration back, so a later registration of an extension wins.
class TPictureFormats {
public:
    using TFactory = std::function<std::unique_ptr<TGraphic>()>;
    struct TEntry {
        std::string Extension; // lower case
        std::string Description;
        std::string ClassName;
        TFactory Make;
    };

    // The registry of the program, with the kinds it knows from the start.
    static TPictureFormats& Instance();

    void Register(std::string extension, std::string description, std::string className,
                  TFactory make);
    void Unregister(std::string_view className);
    const TEntry* FindByExtension(std::string_view extension) const;
    const TEntry* FindByClassName(std::string_view className) const;
    const std::vector<TEntry>& Entries() const { return FEntries; }

private:
    std::vector<TEntry> FEntries;
};

// Registers the built-in kinds (bitmap, icon, JPEG, GIF, PNG) in that order.
void RegisterDefaultPictureFormats(TPictureFormats& formats);

// A picture: holds at most one graphic of any kind.
class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture& other) { Assign(other); }
    TPicture& operator=(const TPicture& other) {
        if (this != &other)
            Assign(other);
        return *this;
    }

    TGraphic* Graphic() const { return FGraphic.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    bool HasGraphic() const { return FGraphic && !FGraphic->Empty(); }
    int Width() const { return FGraphic ? FGraphic->Width() : 0; }
    int Height() const { return FGraphic ? FGraphic->Height() : 0; }
    void Assign(const TPicture& other);
    void Clear() { SetGraphic(nullptr); }

    // Chooses the kind by the file's extension. Throws EInvalidGraphic for an
    // unregistered extension or content the kind cannot decode; the picture
    // keeps what it held before.
    void LoadFromFile(const std::string& path,
                      const TPictureFormats& formats = TPictureFormats::Instance());
    // Writes the graphic's own format; throws when there is none or on error.
    void SaveToFile(const std::string& path) const;

    // Stored form: one length byte and the kind's class name (at most 63
    // characters), then the kind's own data. A name that is not registered
    // leaves the picture empty without error.
    void ReadStored(const QByteArray& data,
                    const TPictureFormats& formats = TPictureFormats::Instance());
    QByteArray WriteStored() const;

    // Called whenever the graphic is replaced or changes.
    std::function<void()> OnChange;

private:
    void Changed() {
        if (OnChange)
            OnChange();
    }
    std::unique_ptr<TGraphic> FGraphic;
};

} // namespace velmora
