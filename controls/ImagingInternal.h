#pragma once
// Helpers shared by the imaging files (ImagingDecoder.cpp, ImagingGraphics.cpp,
// ImagingPicture.cpp); not part of the controls' interface.
#include "controls/Imaging.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>

namespace velmora::imaging {

// The decoders' allocation limit in bytes of decoded pixels.
inline constexpr qint64 LimitBytes = qint64(PictureAllocationLimitMb) * 1024 * 1024;

// Whether a picture of that size may be decoded.
bool WithinLimit(qint64 width, qint64 height);
// The image in Format_ARGB32_Premultiplied (a null image stays null).
QImage Premultiplied(const QImage& image);
// The little-endian 32-bit value at the offset; the caller checks the size.
std::uint32_t ReadLe32(const QByteArray& b, int at);
// Decodes bytes of the given format (nullptr: any the reader knows) within
// the limit; a null image otherwise.
QImage DecodeAs(const QByteArray& bytes, const char* format);
// Encodes the image; throws EInvalidGraphic when the writer fails.
QByteArray Encode(const QImage& image, const char* format);

} // namespace velmora::imaging
