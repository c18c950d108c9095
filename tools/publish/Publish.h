#pragma once
// Publishing a catalogue: a folder of packages as a publisher keeps them
// becomes the document root of a static catalogue server (config.txt in
// code page 936, packages and previews under softdata/win7/res), and a
// published folder is checked against its own config.txt. Core only: the
// previews a package lacks are drawn by a maker the caller hands in.
//
//   SRC/themes/<group>/<name>.zip|.themepack [<name>.jpg]
//   SRC/cursors/<name>.zip [<name>.jpg]
//   SRC/screensavers/<name>.zip [<name>.jpg]
//   an optional order.txt in each of these folders: one name a line.
#include "install/PackageCheck.h"

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

namespace velmora::tool {

constexpr int PreviewWidth = 400;
constexpr int PreviewHeight = 300;

// A name longer than this in code page 936 is refused: with its longest
// extension (".themepack") it must stay a file name of at most 255 bytes.
constexpr std::size_t MaxPublishedNameBytes = 245;

// The file in each source folder that gives the display order.
extern const char* const OrderFileName; // "order.txt"

// What a missing or unusable preview is made from.
struct TPreviewRequest {
    TPackageKind Kind = TPackageKind::Theme;
    std::string Name;              // UTF-8, as the catalogue lists it
    std::filesystem::path Package; // the checked source package
    std::string ThemeFile;         // theme ZIP: its root theme file; empty for a theme pack
    std::array<std::string, CursorRoleCount> Roles{}; // cursor scheme: each role's file
    std::string Given; // the publisher's preview when it is not a 400 x 300 JPEG; else empty
};

// Returns the preview as JPEG bytes of 400 x 300 pixels, or empty with why.
using TPreviewMaker = std::function<std::string(const TPreviewRequest&, std::string& why)>;

// Whether the bytes are a baseline or progressive JPEG of 400 x 300 pixels
// (its frame header read; the picture is not decoded).
bool IsPreviewJpeg(std::string_view bytes);

// Why a name (trimmed, UTF-8) cannot be carried by the catalogue; empty when
// it can.
std::string PublishedNameProblem(std::string_view name);

// Publishes src into out. Every package is checked as installation checks
// it; one that fails is left out with a line on err. Files of out that are
// already right are not rewritten; files below out/softdata/win7 that src no
// longer gives are removed; config.txt is written last. Returns 0 when every
// package went in, 1 when one was left out, 2 when nothing could be
// published (a line on err says why).
int Publish(const std::filesystem::path& src, const std::filesystem::path& out,
            const TPreviewMaker& makePreview, std::ostream& log, std::ostream& err);

// Checks a published out without writing: config.txt reads, every package it
// lists is there with its size and digest, every preview is a 400 x 300 JPEG,
// and nothing else lies below softdata/win7. One line per problem on err;
// returns 0 when there is none, else 1.
int CheckPublished(const std::filesystem::path& out, std::ostream& log, std::ostream& err);

} // namespace velmora::tool
