// Picture bytes through the program's decoder (JPEG, PNG, GIF, BMP, ICO).
#include "controls/Imaging.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The image plug-ins load through the application object.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QImage picture = velmora::DecodePicture(bytes);
    if (!picture.isNull() && picture.format() != QImage::Format_ARGB32_Premultiplied)
        std::abort();
    return 0;
}
