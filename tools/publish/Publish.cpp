#include "tools/publish/Publish.h"

#include "catalog/uCatalog.h"
#include "install/CodePage.h"
#include "install/uInstallers.h"
#include "install/uPubFunc.h"
#include "install/uThemeInstaller.h"
#include "install/uZip.h"
#include "platform/SimulatedSystem.h"
#include "platform/ThemeFile.h"
#include "platform/sim/ThemePack.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"
#include "platform/util/Sha256.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <map>
#include <ostream>
#include <set>
#include <vector>

namespace velmora::tool {
namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

const char* const OrderFileName = "order.txt";

namespace {

bool IsThemePackFile(const std::string& file) {
    return LowerAscii(file).ends_with(".themepack");
}

// Where the program looks, below the document root.
const fs::path CatalogDir = fs::path("softdata") / "win7";
const fs::path ResDir = CatalogDir / "res";
constexpr std::uintmax_t MaxPreviewBytes = 64 << 20;

struct TCategory {
    TPackageKind Kind;
    int Tag;
    const char* SourceFolder; // below SRC
    const char* Key;          // in config.txt
};
const TCategory Categories[] = {
    {TPackageKind::Theme, tagTheme, "themes", "themes"},
    {TPackageKind::Cursor, tagCursor, "cursors", "cursors"},
    {TPackageKind::ScreenSave, tagScreenSave, "screensavers", "screensave"},
};

std::string U8(const fs::path& p) {
    const auto s = p.u8string();
    return std::string(s.begin(), s.end());
}
std::string Generic(const fs::path& p) {
    const auto s = p.generic_u8string();
    return std::string(s.begin(), s.end());
}
fs::path PathOf(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// The program's name order: code page 936 bytes (pinyin order for the
// common characters), then UTF-8 bytes.
bool NameLess(const std::string& a, const std::string& b) {
    const std::string ca = Utf8ToCp936(a), cb = Utf8ToCp936(b);
    return ca != cb ? ca < cb : a < b;
}

// Names in the order file first, in its order; the rest in name order.
std::vector<std::string> Ordered(std::vector<std::string> names, const fs::path& folder) {
    std::sort(names.begin(), names.end(), NameLess);
    std::string text;
    if (ReadWholeFile(folder / OrderFileName, text, 1 << 20))
        return names;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    std::vector<std::string> out;
    for (const auto& line : SplitLines(text)) {
        std::string name = Trim(line);
        auto it = std::find(names.begin(), names.end(), name);
        // A line may name the package file itself.
        for (const char* ext : {".zip", ".themepack"})
            if (it == names.end() && name.size() > std::strlen(ext) &&
                EqualsIgnoreCaseAscii(name.substr(name.size() - std::strlen(ext)), ext)) {
                name.resize(name.size() - std::strlen(ext));
                it = std::find(names.begin(), names.end(), name);
            }
        if (!name.empty() && it != names.end()) {
            out.push_back(name);
            names.erase(it);
        }
    }
    out.insert(out.end(), names.begin(), names.end());
    return out;
}

// One package found in SRC, with what the catalogue will say of it.
struct TSourceItem {
    std::string Name; // trimmed
    fs::path Package; // in SRC
    fs::path Preview; // in SRC, or empty
    bool IsZip = true;
    std::string Label; // "themes/<group>/<file>" for the messages
    TPackageReport Report;
    std::string Sha256;
    std::uint64_t Size = 0;
};

struct TSourceGroup {
    std::string Title;
    std::vector<TSourceItem> Items;
};

// A planned file of OUT, relative to it: copied from a file or written from bytes.
struct TPlannedFile {
    fs::path From;
    std::string Bytes;
    std::string Sha256;
    std::uint64_t Size = 0;
};

class TPublisher {
public:
    TPublisher(fs::path src, fs::path out, const TPreviewMaker& maker, std::ostream& log,
               std::ostream& err)
        : FSrc(std::move(src)), FOut(std::move(out)), FMaker(maker), FLog(log), FErr(err) {}

    ~TPublisher() {
        FSystem.reset();
        std::error_code ec;
        if (!FSystemRoot.empty())
            fs::remove_all(FSystemRoot, ec);
    }

    int Run();

private:
    // Why the installer would refuse to apply the theme file (its bytes):
    // a path that leaves the machine or the Windows folder. Checked against
    // a simulated Windows of the run's own, made when first needed.
    std::string ThemeReach(std::string_view themeBytes, bool isZip, const std::string& name) {
        if (!FSystem) {
            FSystemRoot = TemporaryNameBeside(fs::temp_directory_path() / "velmora-publish");
            FSystem = CreateSimulatedSystem(FSystemRoot);
            FFolders = MakeFolderFields(*FSystem, FSystemRoot / "program" / "");
        }
        const fs::path folder =
            isZip ? SystemThemesFolder(FFolders) : FFolders.UserThemesDir / PathOf(name);
        return ThemeRefusal(themeBytes, folder, FFolders, *FSystem);
    }
    void LeaveOut(const std::string& label, const std::string& why) {
        FErr << "left out: " << label << ": " << why << '\n';
        FLeftOut = true;
    }
    // The groups of a category folder (one unnamed group for cursors and
    // screen savers), with their checked items in display order.
    std::vector<TSourceGroup> Scan(const TCategory& c);
    std::vector<TSourceItem> ScanFolder(const TCategory& c, const fs::path& folder,
                                        const std::string& label);
    bool Check(const TCategory& c, TSourceItem& item);
    void PlanPreview(const TCategory& c, const TSourceItem& item, const fs::path& target);
    bool WritePlanned(const fs::path& rel, const TPlannedFile& f);

    fs::path FSrc, FOut;
    const TPreviewMaker& FMaker;
    std::ostream &FLog, &FErr;
    bool FLeftOut = false;
    std::map<fs::path, TPlannedFile> FPlan; // relative to FOut
    std::set<std::string> FTaken;           // lowered names of the category in hand
    fs::path FSystemRoot;
    std::unique_ptr<TSimulatedSystem> FSystem;
    TFolderFields FFolders;
    int FMadePreviews = 0, FNoPreview = 0;
};

std::vector<TSourceItem> TPublisher::ScanFolder(const TCategory& c, const fs::path& folder,
                                                const std::string& label) {
    std::map<std::string, fs::path> packages, previews; // by file stem
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path p = it->path();
        const std::string file = U8(p.filename());
        if (!it->is_regular_file(ec)) {
            if (c.Kind != TPackageKind::Theme || label != "themes")
                FErr << "ignored: " << label << "/" << file << " (not a file)\n";
            continue;
        }
        const std::string ext = LowerAscii(U8(p.extension()));
        const std::string stem = U8(p.stem());
        if (file == OrderFileName || IsTemporaryName(p))
            continue;
        if (c.Kind == TPackageKind::Theme && label == "themes") {
            LeaveOut(label + "/" + file, "a theme package belongs in a group folder");
            continue;
        }
        if (ext == ".zip" || (ext == ".themepack" && c.Kind == TPackageKind::Theme)) {
            if (packages.count(stem))
                LeaveOut(label + "/" + file, "another package has the same name");
            else
                packages[stem] = p;
        } else if (ext == ".jpg") {
            previews[stem] = p;
        } else {
            FErr << "ignored: " << label << "/" << file << " (not a package or a preview)\n";
        }
    }
    if (ec)
        FErr << "cannot read " << U8(folder) << ": " << ec.message() << '\n';

    std::vector<std::string> stems;
    for (const auto& [stem, p] : packages)
        stems.push_back(stem);
    for (const auto& [stem, p] : previews)
        if (!packages.count(stem))
            FErr << "ignored: " << label << "/" << U8(p.filename())
                 << " (no package of its name)\n";
    std::vector<TSourceItem> items;
    for (const auto& stem : Ordered(stems, folder)) {
        TSourceItem item;
        item.Name = Trim(stem);
        item.Package = packages[stem];
        item.IsZip = LowerAscii(U8(item.Package.extension())) == ".zip";
        item.Label = label + "/" + U8(item.Package.filename());
        if (auto pv = previews.find(stem); pv != previews.end())
            item.Preview = pv->second;
        if (Check(c, item))
            items.push_back(std::move(item));
    }
    return items;
}

bool TPublisher::Check(const TCategory& c, TSourceItem& item) {
    if (std::string why = PublishedNameProblem(item.Name); !why.empty()) {
        LeaveOut(item.Label, why);
        return false;
    }
    if (!FTaken.insert(LowerAscii(item.Name)).second) {
        LeaveOut(item.Label, "another package of this category has the name \"" + item.Name + "\"");
        return false;
    }
    if (item.IsZip) {
        try {
            // Published as <name>.zip, it is installed under that name.
            item.Report = InspectPackage(item.Package, c.Kind, item.Name);
        } catch (const EZipError& e) {
            LeaveOut(item.Label, e.what());
            return false;
        }
        if (std::string why = PackageRefusal(item.Report, c.Kind); !why.empty()) {
            LeaveOut(item.Label, why);
            return false;
        }
        if (c.Kind == TPackageKind::Theme && !IsThemePackFile(item.Report.ThemeFile)) {
            TZipFile zip(item.Package);
            for (std::size_t i = 0; i < zip.Entries().size(); ++i)
                if (zip.Entries()[i].FolderPart.empty() &&
                    zip.Entries()[i].FileName == item.Report.ThemeFile) {
                    std::string why =
                        ThemeReach(zip.ReadEntry(i, TThemeFile::MaxBytes), true, item.Name);
                    if (!why.empty()) {
                        LeaveOut(item.Label, why);
                        return false;
                    }
                }
        }
    } else {
        const auto theme = sim::ReadPackedTheme(item.Package);
        std::string why = theme ? ThemeReach(*theme, false, item.Name)
                                : std::string("not a theme pack with a theme file");
        if (!why.empty()) {
            LeaveOut(item.Label, why);
            return false;
        }
    }
    item.Sha256 = Sha256OfFile(item.Package);
    std::error_code ec;
    item.Size = fs::file_size(item.Package, ec);
    if (item.Sha256.empty() || ec) {
        LeaveOut(item.Label, "cannot be read");
        return false;
    }
    return true;
}

std::vector<TSourceGroup> TPublisher::Scan(const TCategory& c) {
    FTaken.clear();
    const fs::path folder = FSrc / c.SourceFolder;
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return {};
    if (c.Kind != TPackageKind::Theme)
        return {{"", ScanFolder(c, folder, c.SourceFolder)}};

    std::vector<std::string> titles;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec))
            titles.push_back(U8(it->path().filename()));
    // Loose files of the themes folder are reported by ScanFolder.
    ScanFolder(c, folder, c.SourceFolder);
    std::vector<TSourceGroup> groups;
    for (const auto& dir : Ordered(titles, folder)) {
        const std::string label = std::string(c.SourceFolder) + "/" + dir;
        TSourceGroup g{Trim(dir), ScanFolder(c, folder / PathOf(dir), label)};
        if (std::string why = PublishedNameProblem(g.Title); !why.empty()) {
            for (const auto& item : g.Items)
                LeaveOut(item.Label, "its group " + why);
            continue;
        }
        if (!g.Items.empty())
            groups.push_back(std::move(g));
    }
    return groups;
}

void TPublisher::PlanPreview(const TCategory& c, const TSourceItem& item, const fs::path& target) {
    TPreviewRequest request;
    if (!item.Preview.empty()) {
        if (std::error_code ec = ReadWholeFile(item.Preview, request.Given, MaxPreviewBytes)) {
            FErr << "preview " << U8(item.Preview.filename()) << " cannot be read: " << ec.message()
                 << '\n';
            request.Given.clear();
        } else if (IsPreviewJpeg(request.Given)) {
            FPlan[target] = {item.Preview, {}, {}, request.Given.size()};
            return;
        }
    }
    if (!FMaker) {
        ++FNoPreview;
        if (!item.Preview.empty())
            FErr << "preview of " << item.Label
                 << " is not a 400 x 300 JPEG and this build cannot convert it; published "
                    "without a preview\n";
        return;
    }
    request.Kind = c.Kind;
    request.Name = item.Name;
    request.Package = item.Package;
    request.ThemeFile = item.IsZip ? item.Report.ThemeFile : std::string();
    request.Roles = item.Report.Roles;
    const bool converting = !request.Given.empty();
    std::string why;
    std::string jpeg = FMaker(request, why);
    if (jpeg.empty()) {
        ++FNoPreview;
        FErr << "no preview for " << item.Label << ": " << why << '\n';
        return;
    }
    if (converting)
        FLog << "converted the preview of " << item.Label << " to a 400 x 300 JPEG\n";
    else
        ++FMadePreviews;
    FPlan[target] = {{}, std::move(jpeg), {}, 0};
}

bool TPublisher::WritePlanned(const fs::path& rel, const TPlannedFile& f) {
    const fs::path target = FOut / rel;
    std::error_code ec;
    // Already right: left as it is.
    if (f.From.empty()) {
        std::string old;
        if (!ReadWholeFile(target, old, f.Bytes.size()) && old == f.Bytes)
            return false;
    } else if (fs::is_regular_file(target, ec) && fs::file_size(target, ec) == f.Size && !ec &&
               Sha256OfFile(target) == (f.Sha256.empty() ? Sha256OfFile(f.From) : f.Sha256)) {
        return false;
    }
    fs::create_directories(target.parent_path(), ec);
    if (f.From.empty()) {
        ec = WriteFileAtomically(target, f.Bytes);
    } else {
        const fs::path temp = TemporaryNameBeside(target);
        if (fs::copy_file(f.From, temp, fs::copy_options::overwrite_existing, ec)) {
            // The copy must be what was checked: a package changed since
            // would be listed under another file's digest.
            if (!f.Sha256.empty() && Sha256OfFile(temp) != f.Sha256) {
                fs::remove(temp);
                throw std::runtime_error(U8(f.From) + " changed while it was published");
            }
            fs::rename(temp, target, ec);
        }
        std::error_code ignored;
        if (ec)
            fs::remove(temp, ignored);
    }
    if (ec)
        throw std::runtime_error("cannot write " + U8(target) + ": " + ec.message());
    return true;
}

int TPublisher::Run() {
    std::error_code ec;
    if (!fs::is_directory(FSrc, ec)) {
        FErr << "velmora-tool: " << U8(FSrc) << " is not a folder\n";
        return 2;
    }
    // OUT's catalogue folder is cleared of what SRC does not give: it must
    // not hold SRC, nor lie inside one of SRC's package folders.
    const fs::path src = fs::weakly_canonical(FSrc),
                   catalog = fs::weakly_canonical(FOut / CatalogDir);
    auto inside = [](const fs::path& a, const fs::path& b) { // a at or below b
        auto m = std::mismatch(b.begin(), b.end(), a.begin(), a.end());
        return m.first == b.end();
    };
    bool overlap = inside(src, catalog);
    for (const auto& c : Categories)
        overlap = overlap || inside(catalog, src / c.SourceFolder);
    if (overlap) {
        FErr << "velmora-tool: the output's softdata/win7 and the package folders overlap\n";
        return 2;
    }

    json doc = json::object();
    std::size_t counts[3] = {};
    for (std::size_t ci = 0; ci < std::size(Categories); ++ci) {
        const TCategory& c = Categories[ci];
        const std::vector<TSourceGroup> groups = Scan(c);
        json list = json::array();
        for (const auto& g : groups) {
            json items = json::array();
            for (const auto& item : g.Items) {
                TCatalogItem row;
                row.Name = item.Name;
                row.IsZip = item.IsZip;
                const fs::path dir = ResDir / CategoryFolder(c.Tag);
                FPlan[dir / PathOf(item.Name + PackageExt[item.IsZip])] = {
                    item.Package, {}, item.Sha256, item.Size};
                PlanPreview(c, item, dir / PathOf(item.Name + ".jpg"));
                json j = {{"name", item.Name}};
                if (c.Kind == TPackageKind::Theme)
                    j["iszip"] = item.IsZip;
                j["sha256"] = item.Sha256;
                j["size"] = item.Size;
                items.push_back(std::move(j));
                ++counts[ci];
            }
            if (c.Kind == TPackageKind::Theme)
                list.push_back({{"name", g.Title}, {"list", std::move(items)}});
            else
                list = std::move(items);
        }
        doc[c.Key] = std::move(list);
    }

    int written = 0, removed = 0;
    for (const auto& [rel, f] : FPlan)
        written += WritePlanned(rel, f);
    // The document last: a server that serves OUT while it is published
    // never lists a package that is not there yet.
    const std::string text = Utf8ToCp936(doc.dump(1, ' ', false)) + "\r\n";
    written += WritePlanned(CatalogDir / "config.txt", {{}, text, {}, 0});
    FPlan[CatalogDir / "config.txt"] = {};

    // What SRC no longer gives goes, and the folders it leaves empty.
    std::vector<fs::path> files, folders;
    for (fs::recursive_directory_iterator it(FOut / CatalogDir, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->is_directory())
            folders.push_back(it->path());
        else if (!FPlan.count(it->path().lexically_relative(FOut)))
            files.push_back(it->path());
    }
    for (const auto& f : files) {
        if (fs::remove(f, ec))
            ++removed;
        else if (ec)
            throw std::runtime_error("cannot remove " + U8(f) + ": " + ec.message());
    }
    std::sort(folders.rbegin(), folders.rend());
    for (const auto& d : folders)
        if (fs::is_empty(d, ec))
            fs::remove(d, ec);

    FLog << "published " << counts[0] << " themes, " << counts[1] << " cursor schemes and "
         << counts[2] << " screen savers to " << U8(FOut) << " (" << written << " files written, "
         << removed << " removed";
    if (FMadePreviews)
        FLog << ", " << FMadePreviews << " previews made";
    if (FNoPreview)
        FLog << ", " << FNoPreview << " items without a preview";
    FLog << ")\n";
    return FLeftOut ? 1 : 0;
}

} // namespace

bool IsPreviewJpeg(std::string_view b) {
    if (b.size() < 4 || b.substr(0, 2) != "\xFF\xD8")
        return false;
    std::size_t i = 2;
    while (i + 4 <= b.size()) {
        if (static_cast<unsigned char>(b[i]) != 0xFF)
            return false;
        const unsigned char marker = static_cast<unsigned char>(b[i + 1]);
        if (marker == 0xFF) { // fill byte
            ++i;
            continue;
        }
        const std::size_t len =
            (static_cast<unsigned char>(b[i + 2]) << 8) | static_cast<unsigned char>(b[i + 3]);
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (len < 7 || i + 9 > b.size())
                return false;
            auto at = [&](std::size_t k) { return static_cast<unsigned char>(b[i + k]); };
            const int height = (at(5) << 8) | at(6), width = (at(7) << 8) | at(8);
            return width == PreviewWidth && height == PreviewHeight;
        }
        if (marker == 0xD9 || marker == 0xDA || len < 2)
            return false;
        i += 2 + len;
    }
    return false;
}

std::string PublishedNameProblem(std::string_view name) {
    if (Trim(name).empty())
        return "the name is empty";
    if (!IsValidUtf8(name) || Cp936ToUtf8(Utf8ToCp936(name)) != name)
        return "the name \"" + std::string(name) + "\" cannot be written in code page 936";
    if (const std::size_t n = Utf8ToCp936(name).size(); n > MaxPublishedNameBytes)
        return "the name is too long (" + std::to_string(n) + " bytes in code page 936, at most " +
               std::to_string(MaxPublishedNameBytes) + ")";
    if (!IsSafeItemName(name) || !IsPlainItemName(name))
        return "the name \"" + std::string(name) + "\" cannot be a Windows file name";
    return {};
}

int Publish(const fs::path& src, const fs::path& out, const TPreviewMaker& makePreview,
            std::ostream& log, std::ostream& err) {
    return TPublisher(src, out, makePreview, log, err).Run();
}

int CheckPublished(const fs::path& out, std::ostream& log, std::ostream& err) {
    int problems = 0;
    auto problem = [&](const std::string& line) {
        err << line << '\n';
        ++problems;
    };
    std::string text;
    if (std::error_code ec =
            ReadWholeFile(out / CatalogDir / "config.txt", text, MaxCatalogBytes)) {
        err << "missing: softdata/win7/config.txt (" << ec.message() << ")\n";
        return 1;
    }
    // Read as the program reads it; the folders only serve its state look-ups.
    TFolderFields nowhere;
    nowhere.ExePath = out / CatalogDir / "res" / "";
    const TCatalogDocument doc = ReadCatalogText(text, nowhere);
    if (doc.Result != TLoadResult::Loaded) {
        err << "softdata/win7/config.txt is not a catalogue the program can read\n";
        return 1;
    }
    std::set<fs::path> listed = {CatalogDir / "config.txt"};
    std::size_t packages = 0, previews = 0;
    for (const auto& row : doc.Rows) {
        if (row.Tag == tagTheme && row.Parent < 0)
            continue; // a group
        const std::string word = CategoryFolder(row.Tag);
        const fs::path dir = ResDir / word;
        const fs::path pkg = dir / PathOf(row.Item.Name + PackageExt[row.Item.IsZip]);
        const fs::path pv = dir / PathOf(row.Item.Name + ".jpg");
        listed.insert(pkg);
        listed.insert(pv);
        std::error_code ec;
        ++packages;
        if (!fs::is_regular_file(out / pkg, ec)) {
            problem("missing: " + Generic(pkg));
        } else if (row.Item.Sha256.empty() || row.Item.Size == 0) {
            problem("no sha256 and size in config.txt: " + Generic(pkg));
        } else if (!PackageFileMatches(out / pkg, PackageCheckOf(row.Item))) {
            problem("changed: " + Generic(pkg) + " (not the size and digest config.txt gives)");
        }
        if (fs::exists(out / pv, ec)) {
            ++previews;
            std::string bytes;
            if (ReadWholeFile(out / pv, bytes, MaxPreviewBytes) || !IsPreviewJpeg(bytes))
                problem("not a 400 x 300 JPEG: " + Generic(pv));
        }
    }
    std::error_code ec;
    for (fs::recursive_directory_iterator it(out / CatalogDir, ec), end; !ec && it != end;
         it.increment(ec))
        if (!it->is_directory() && !listed.count(it->path().lexically_relative(out)))
            problem("not listed: " + Generic(it->path().lexically_relative(out)));
    if (problems == 0)
        log << "ok: " << packages << " packages and " << previews << " previews match config.txt\n";
    return problems ? 1 : 0;
}

} // namespace velmora::tool
