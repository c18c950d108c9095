// velmora-demo: writes the demo catalogue folder, laid out as the catalogue
// server's paths, with real packages: theme ZIPs with a .theme file and its
// wallpaper, one theme pack (a cabinet), cursor schemes with .cur and .ani
// files and a setup.inf, screen savers, and 400 x 300 JPEG previews.
//
//   velmora-demo DIR
#include "install/CodePage.h"

#include <QBuffer>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <libgcab.h>
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using velmora::Utf8ToCp936;

namespace {

struct TTheme {
    const char* Name;
    bool IsZip;
    QColor From, To;
};

struct TGroup {
    const char* Title;
    std::vector<TTheme> Themes;
};

const std::vector<TGroup> Groups = {
    {"风景", {{"山水之间", true, {40, 110, 160}, {170, 210, 230}},
              {"秋日森林", true, {150, 70, 20}, {240, 190, 90}},
              {"海边日落", false, {230, 100, 60}, {60, 40, 110}}}},
    {"动漫", {{"星空少女", true, {20, 20, 70}, {120, 80, 170}}}},
    {"简约", {{"纯色时光", true, {90, 90, 90}, {220, 220, 220}}}},
};
const std::vector<const char*> Cursors = {"水晶指针", "极简黑白"};
const std::vector<const char*> Savers = {"星空漫游", "时钟"};

void WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string Encode(const QImage& image, const char* format, int quality = 85) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality))
        throw std::runtime_error(std::string("cannot encode ") + format);
    return bytes.toStdString();
}

QImage Picture(int w, int h, const QColor& from, const QColor& to, const QString& caption) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    p.fillRect(image.rect(), g);
    p.setPen(QColor(255, 255, 255, 60));
    for (int i = 0; i < 12; ++i)
        p.drawEllipse(QPoint(w * (i * 37 % 100) / 100, h * (i * 53 % 100) / 100), w / 8, w / 8);
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(h / 9);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(image.rect(), Qt::AlignCenter, caption);
    return image;
}

// A ZIP archive written with libzip; entries in the order they are added.
class TZipWriter {
public:
    explicit TZipWriter(const fs::path& path) {
        fs::create_directories(path.parent_path());
        int error = 0;
        FZip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (!FZip)
            throw std::runtime_error("cannot create " + path.string());
    }
    ~TZipWriter() {
        if (FZip)
            zip_discard(FZip);
    }
    void Add(const std::string& name, std::string bytes) {
        FKeep.push_back(std::move(bytes));
        zip_source_t* src = zip_source_buffer(FZip, FKeep.back().data(), FKeep.back().size(), 0);
        if (!src || zip_file_add(FZip, name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0)
            throw std::runtime_error("cannot add " + name);
    }
    void Close() {
        if (zip_close(FZip) != 0)
            throw std::runtime_error(zip_strerror(FZip));
        FZip = nullptr;
    }

private:
    zip_t* FZip = nullptr;
    std::vector<std::string> FKeep; // libzip reads the buffers at close
};

void Put16(std::string& b, std::uint16_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& b, std::uint32_t v) {
    Put16(b, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(b, static_cast<std::uint16_t>(v >> 16));
}

// A 32 x 32 cursor (.cur): an icon directory of type 2 holding one 32-bit DIB
// with its AND mask. `shape` draws the picture; hot spot in pixels.
std::string CurFile(const QImage& shape, int hotX, int hotY) {
    QImage img = shape.convertToFormat(QImage::Format_ARGB32).scaled(32, 32);
    std::string dib;
    Put32(dib, 40);
    Put32(dib, 32);
    Put32(dib, 64); // XOR and AND halves
    Put16(dib, 1);
    Put16(dib, 32);
    for (int i = 0; i < 6; ++i)
        Put32(dib, 0);
    for (int y = 31; y >= 0; --y)
        for (int x = 0; x < 32; ++x)
            Put32(dib, img.pixel(x, y));
    for (int y = 31; y >= 0; --y) // AND mask: transparent where alpha is 0
        for (int byte = 0; byte < 4; ++byte) {
            unsigned char bits = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (qAlpha(img.pixel(byte * 8 + bit, y)) == 0)
                    bits |= static_cast<unsigned char>(0x80 >> bit);
            dib.push_back(static_cast<char>(bits));
        }
    std::string cur;
    Put16(cur, 0);
    Put16(cur, 2);
    Put16(cur, 1);
    cur.push_back(32);
    cur.push_back(32);
    cur.push_back(0);
    cur.push_back(0);
    Put16(cur, static_cast<std::uint16_t>(hotX));
    Put16(cur, static_cast<std::uint16_t>(hotY));
    Put32(cur, static_cast<std::uint32_t>(dib.size()));
    Put32(cur, 22);
    return cur + dib;
}

std::string Chunk(const char* id, const std::string& body) {
    std::string c(id, 4);
    Put32(c, static_cast<std::uint32_t>(body.size()));
    c += body;
    if (body.size() & 1)
        c.push_back('\0');
    return c;
}

// An animated cursor (.ani): RIFF "ACON" with its header and frames.
std::string AniFile(const std::vector<std::string>& frames, int jiffies) {
    std::string anih;
    Put32(anih, 36);
    Put32(anih, static_cast<std::uint32_t>(frames.size())); // frames
    Put32(anih, static_cast<std::uint32_t>(frames.size())); // steps
    Put32(anih, 0);
    Put32(anih, 0);
    Put32(anih, 0);
    Put32(anih, 0);
    Put32(anih, static_cast<std::uint32_t>(jiffies));
    Put32(anih, 1); // AF_ICON: frames are icon directories
    std::string list = "fram";
    for (const auto& f : frames)
        list += Chunk("icon", f);
    std::string body = "ACON" + Chunk("anih", anih) + Chunk("LIST", list);
    std::string riff = "RIFF";
    Put32(riff, static_cast<std::uint32_t>(body.size()));
    return riff + body;
}

QImage Arrow(const QColor& fill) {
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF pts[] = {{1, 1}, {1, 24}, {7, 18}, {12, 29}, {16, 27}, {11, 17}, {19, 17}};
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(fill);
    p.drawPolygon(pts, 7);
    return img;
}

QImage Ring(double angle, const QColor& color) {
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 4));
    p.drawArc(QRectF(4, 4, 24, 24), static_cast<int>(angle * 16), 270 * 16);
    return img;
}

QImage Cross(const QColor& color, bool beam) {
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(QPen(color, 2));
    p.drawLine(16, 4, 16, 28);
    if (!beam)
        p.drawLine(4, 16, 28, 16);
    else {
        p.drawLine(12, 4, 20, 4);
        p.drawLine(12, 28, 20, 28);
    }
    return img;
}

// A theme file as theme editors write them; cursors is a ready
// "[Control Panel\Cursors]" section or empty.
std::string ThemeFile(const std::string& name, const std::string& wallpaper,
                      const std::string& cursors = "") {
    return "; " + name + "\r\n[Theme]\r\nDisplayName=" + name +
           "\r\n\r\n[Control Panel\\Desktop]\r\nWallpaper=" + wallpaper +
           "\r\nTileWallpaper=0\r\nWallpaperStyle=10\r\nPattern=\r\n\r\n" + cursors +
           "[VisualStyles]\r\nPath=%SystemRoot%\\resources\\themes\\Aero\\Aero.msstyles\r\n"
           "ColorStyle=NormalColor\r\nSize=NormalSize\r\n\r\n"
           "[MasterThemeSelector]\r\nMTSM=DABJDKT\r\n";
}

// Names in the mixed case real packages have: the theme file spells them
// otherwise than the files on disk, as Windows does not mind.
void WriteThemeZip(const fs::path& path, const TTheme& t, bool withCursors) {
    const std::string name = t.Name;
    const std::string dir = "%WINDIR%\\Resources\\Themes\\" + name + "\\";
    TZipWriter zip(path);
    std::string cursors;
    if (withCursors)
        cursors = "[Control Panel\\Cursors]\r\nDefaultValue=" + name + "\r\nArrow=" + dir +
                  "cursors\\arrow.cur\r\nHelp=" + dir + "cursors\\HELP.CUR\r\n\r\n";
    zip.Add(name + ".theme", Utf8ToCp936(ThemeFile(name, dir + "wallpaper.JPG", cursors)));
    zip.Add(name + "/Wallpaper.jpg", Encode(Picture(1024, 768, t.From, t.To, t.Name), "JPEG"));
    if (withCursors) {
        zip.Add(name + "/Cursors/Arrow.CUR", CurFile(Arrow(t.To.lighter(130)), 1, 1));
        zip.Add(name + "/Cursors/Help.cur", CurFile(Arrow(t.From.lighter(160)), 1, 1));
    }
    zip.Close();
}

void WriteThemePack(const fs::path& path, const TTheme& t) {
    const std::string name = t.Name;
    GCabCabinet* cab = gcab_cabinet_new();
    GCabFolder* folder = gcab_folder_new(GCAB_COMPRESSION_MSZIP);
    auto add = [&](const std::string& entry, const std::string& bytes) {
        GBytes* data = g_bytes_new(bytes.data(), bytes.size());
        GCabFile* file = gcab_file_new_with_bytes(entry.c_str(), data);
        gcab_folder_add_file(folder, file, FALSE, nullptr, nullptr);
        g_object_unref(file);
        g_bytes_unref(data);
    };
    add(name + ".theme", Utf8ToCp936(ThemeFile(name, "DesktopBackground\\" + name + ".JPG")));
    add("DesktopBackground\\" + name + ".jpg", Encode(Picture(1024, 768, t.From, t.To, t.Name), "JPEG"));
    gcab_cabinet_add_folder(cab, folder, nullptr);
    fs::create_directories(path.parent_path());
    GFile* out = g_file_new_for_path(path.c_str());
    GError* error = nullptr;
    GFileOutputStream* stream = g_file_replace(out, nullptr, FALSE, G_FILE_CREATE_NONE, nullptr, &error);
    bool ok = stream && gcab_cabinet_write_simple(cab, G_OUTPUT_STREAM(stream), nullptr, nullptr, nullptr, &error);
    if (stream) {
        g_output_stream_close(G_OUTPUT_STREAM(stream), nullptr, nullptr);
        g_object_unref(stream);
    }
    g_object_unref(out);
    g_object_unref(folder);
    g_object_unref(cab);
    if (!ok) {
        std::string why = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("cannot write theme pack: " + why);
    }
}

void WriteCursorZip(const fs::path& path, const std::string& name, const QColor& color) {
    TZipWriter zip(path);
    std::vector<std::string> busy, work;
    for (int i = 0; i < 8; ++i) {
        busy.push_back(CurFile(Ring(i * 45.0, color), 16, 16));
        QImage w = Arrow(color);
        QPainter(&w).drawImage(14, 14, Ring(i * 45.0, color).scaled(18, 18));
        work.push_back(CurFile(w, 1, 1));
    }
    // Mixed-case names, as real packages have them: the installer lowers what
    // [Strings] names and Windows finds the files all the same.
    zip.Add("Pointer.CUR", CurFile(Arrow(color), 1, 1));
    zip.Add("Help.cur", CurFile(Arrow(color.lighter(140)), 1, 1));
    zip.Add("Working.ANI", AniFile(work, 6));
    zip.Add("Busy.ani", AniFile(busy, 6));
    zip.Add("Cross.Cur", CurFile(Cross(color, false), 16, 16));
    zip.Add("TEXT.CUR", CurFile(Cross(color, true), 16, 16));
    // The [Strings] section names each role's file; the rest is the usual
    // installer boilerplate of such a file.
    std::string inf =
        "[Version]\r\nsignature=\"$CHICAGO$\"\r\n\r\n"
        "[DefaultInstall]\r\nCopyFiles = Scheme.Cur\r\nAddReg = Scheme.Reg\r\n\r\n"
        "[DestinationDirs]\r\nScheme.Cur = 10,\"%CUR_DIR%\"\r\n\r\n"
        "[Scheme.Cur]\r\nPointer.CUR\r\nHelp.cur\r\nWorking.ANI\r\nBusy.ani\r\nCross.Cur\r\nTEXT.CUR\r\n\r\n"
        "[Strings]\r\nCUR_DIR = \"Cursors\\" + name + "\"\r\nSCHEME_NAME = \"" + name +
        "\"\r\npointer = \"Pointer.CUR\"\r\nhelp = \"Help.cur\"\r\nwork = \"Working.ANI\"\r\n"
        "busy = \"Busy.ani\"\r\nCross = \"Cross.Cur\"\r\nText = \"TEXT.CUR\"\r\n";
    zip.Add("Setup.inf", Utf8ToCp936(inf));
    zip.Close();
}

void WriteScreenSaverZip(const fs::path& path, const std::string& name) {
    TZipWriter zip(path);
    // The simulated Windows only records that a screen saver starts; the file
    // is a placeholder with the executable signature.
    zip.Add(name + ".Scr", std::string("MZ") + std::string(126, '\0') + "Velmora demo screen saver: " + name);
    zip.Close();
}

std::string Html(const std::string& title, const std::string& body, const char* background) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head><body style=\"margin:0;background:" + background +
           ";font:14px sans-serif;color:#fff\">" + body + "</body></html>";
}

void Generate(const fs::path& dir) {
    const fs::path res = dir / "softdata/win7/res";
    std::string doc = "{\"themes\":[";
    bool firstGroup = true;
    for (const auto& g : Groups) {
        doc += std::string(firstGroup ? "" : ",") + "\n {\"name\":\"" + g.Title + "\",\"list\":[";
        firstGroup = false;
        bool first = true;
        for (const auto& t : g.Themes) {
            doc += std::string(first ? "" : ",") + "{\"name\":\"" + t.Name + "\",\"iszip\":" + (t.IsZip ? "true" : "false") + "}";
            first = false;
            WriteBytes(res / "theme" / (std::string(t.Name) + ".jpg"), Encode(Picture(400, 300, t.From, t.To, t.Name), "JPEG"));
            if (t.IsZip)
                WriteThemeZip(res / "theme" / (std::string(t.Name) + ".zip"), t,
                              std::string(t.Name) == "星空少女");
            else
                WriteThemePack(res / "theme" / (std::string(t.Name) + ".themepack"), t);
        }
        doc += "]}";
    }
    doc += "],\n\"cursors\":[";
    const QColor cursorColors[] = {{80, 170, 230}, {250, 250, 250}};
    for (std::size_t i = 0; i < Cursors.size(); ++i) {
        doc += std::string(i ? "," : "") + "\"" + Cursors[i] + "\"";
        QImage preview = Picture(400, 300, QColor(40, 40, 50), QColor(90, 90, 110), Cursors[i]);
        QPainter(&preview).drawImage(40, 40, Arrow(cursorColors[i]).scaled(64, 64));
        WriteBytes(res / "cursor" / (std::string(Cursors[i]) + ".jpg"), Encode(preview, "JPEG"));
        WriteCursorZip(res / "cursor" / (std::string(Cursors[i]) + ".zip"), Cursors[i], cursorColors[i]);
    }
    doc += "],\n\"screensave\":[";
    for (std::size_t i = 0; i < Savers.size(); ++i) {
        doc += std::string(i ? "," : "") + "\"" + Savers[i] + "\"";
        WriteBytes(res / "screensave" / (std::string(Savers[i]) + ".jpg"),
                   Encode(Picture(400, 300, QColor(0, 0, 30), QColor(30, 60, 120), Savers[i]), "JPEG"));
        WriteScreenSaverZip(res / "screensave" / (std::string(Savers[i]) + ".zip"), Savers[i]);
    }
    doc += "]}\n";
    WriteBytes(dir / "softdata/win7/config.txt", Utf8ToCp936(doc));

    WriteBytes(dir / "ad/201081153_1.html",
               Html("Velmora", "<div style=\"padding:18px 20px\">Velmora 演示目录 · 主题、鼠标指针与屏保</div>", "#3a7bd5"));
    WriteBytes(dir / "ad/201081153_2.html",
               Html("Velmora", "<div style=\"padding:10px\">Velmora 壁纸搜索</div>", "#5b8c3a"));
    WriteBytes(dir / "201081153.html",
               Html("Velmora", "<h1 style=\"padding:20px\">Velmora</h1><p style=\"padding:0 20px\">桌面个性化管理器</p>", "#334"));
    WriteBytes(dir / "SiteBack/updateTxt/53.txt", "version=0.1\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: velmora-demo DIR\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    try {
        Generate(argv[1]);
    } catch (const std::exception& e) {
        std::cerr << "velmora-demo: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
