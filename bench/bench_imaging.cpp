// Picture decoding and panel stretching benchmark.
//   bench_imaging generate DIR     writes DIR/photo.jpg (1920 × 1080) and DIR/photo.png
//   bench_imaging decode FILE RUNS decodes FILE from memory as the wallpaper
//                                  search does; prints the median in milliseconds
//   bench_imaging stretch RUNS     stretches a 36 × 42 picture over 1920 × 1080
//                                  (hstMiddle, vstCenter); prints the median
#include "controls/Imaging.h"
#include "controls/PubFunc.h"

#include <QFile>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace velmora;

namespace {

double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

QImage Photo() {
    QImage image(1920, 1080, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y,
                           qRgb(int(127 + 127 * std::sin(x / 37.0)), (x * y / 97) % 256,
                                int(127 + 127 * std::cos(y / 23.0))));
    return image;
}

} // namespace

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "generate" && argc >= 3) {
        const QImage photo = Photo();
        photo.save(QString(argv[2]) + "/photo.jpg", "jpeg", 90);
        photo.save(QString(argv[2]) + "/photo.png", "png");
        return 0;
    }
    if (verb == "decode" && argc >= 4) {
        QFile file(argv[2]);
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray bytes = file.readAll();
        unsigned width = 0;
        const double ms = MedianMs(std::stoi(argv[3]), [&] {
            TGPBitmap bitmap(bytes);
            width = bitmap.GetWidth();
        });
        if (width == 0)
            return 1;
        std::printf("%.2f\n", ms);
        return 0;
    }
    if (verb == "stretch" && argc >= 3) {
        TBitmap picture(Photo().copy(0, 0, 36, 42));
        QImage target(1920, 1080, QImage::Format_ARGB32_Premultiplied);
        const double ms = MedianMs(std::stoi(argv[2]), [&] {
            QPainter p(&target);
            DrawStretchedPicture(picture, p, 1920, 1080, vstCenter, hstMiddle);
        });
        std::printf("%.2f\n", ms);
        return 0;
    }
    std::fprintf(stderr, "usage: bench_imaging generate DIR | decode FILE RUNS | stretch RUNS\n");
    return 2;
}
