#include "platform/sim/ThemePack.h"

#include "platform/ThemeHandler.h"

#include "platform/util/Ascii.h"
#include "platform/util/Files.h"

#include <libgcab.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <unistd.h>
#include <vector>

namespace velmora::sim {

namespace fs = std::filesystem;

namespace {

// Theme packs hold a theme file and its pictures; anything this large is not one.
constexpr std::uint64_t MaxUnpackedBytes = 512ull << 20;

struct TGObjectFree {
    void operator()(gpointer p) const { g_object_unref(p); }
};
template <class T> using TGPtr = std::unique_ptr<T, TGObjectFree>;

struct TGErrorHolder {
    GError* Error = nullptr;
    ~TGErrorHolder() { g_clear_error(&Error); }
    std::string Text() const { return Error ? Error->message : "unknown error"; }
};

std::string NameOf(GCabFile* file) {
    const char* name = gcab_file_get_name(file);
    return name ? name : "";
}

struct TUnpackCheck {
    bool Bad = false;
    std::string Why;
};

gboolean RenameForExtraction(GCabFile* file, gpointer data) {
    auto* check = static_cast<TUnpackCheck*>(data);
    const std::string safe = SafePackEntryName(NameOf(file));
    if (safe.empty()) {
        check->Bad = true;
        check->Why = std::string("unsafe name in pack: ") + NameOf(file);
        return FALSE;
    }
    gcab_file_set_extract_name(file, safe.c_str());
    return TRUE;
}

} // namespace

bool UnpackThemePack(const fs::path& pack, const fs::path& dest, std::string& why) {
    TGPtr<GFile> packFile(g_file_new_for_path(pack.c_str()));
    TGErrorHolder err;
    TGPtr<GFileInputStream> in(g_file_read(packFile.get(), nullptr, &err.Error));
    if (!in) {
        why = err.Text();
        return false;
    }
    TGPtr<GCabCabinet> cab(gcab_cabinet_new());
    if (!gcab_cabinet_load(cab.get(), G_INPUT_STREAM(in.get()), nullptr, &err.Error)) {
        why = "not a cabinet: " + err.Text();
        return false;
    }
    // Check every name and the total size before anything is written.
    std::uint64_t total = 0;
    GPtrArray* folders = gcab_cabinet_get_folders(cab.get());
    for (guint i = 0; folders && i < folders->len; ++i) {
        GSList* files = gcab_folder_get_files(GCAB_FOLDER(g_ptr_array_index(folders, i)));
        for (GSList* f = files; f; f = f->next) {
            GCabFile* file = GCAB_FILE(f->data);
            total += gcab_file_get_size(file);
            if (SafePackEntryName(NameOf(file)).empty()) {
                why = std::string("unsafe name in pack: ") + NameOf(file);
                g_slist_free(files);
                return false;
            }
        }
        g_slist_free(files);
    }
    if (total > MaxUnpackedBytes) {
        why = "pack too large";
        return false;
    }
    return UnpackIntoPlace(dest, why, [&](const fs::path& temp, std::string& reason) {
        TGPtr<GFile> tempDir(g_file_new_for_path(temp.c_str()));
        TUnpackCheck check;
        TGErrorHolder extractErr;
        const bool ok = gcab_cabinet_extract_simple(cab.get(), tempDir.get(), RenameForExtraction,
                                                    &check, nullptr, &extractErr.Error);
        if (ok && !check.Bad)
            return true;
        reason = check.Bad ? check.Why : "cannot unpack: " + extractErr.Text();
        return false;
    });
}

std::optional<std::string> ReadPackedTheme(const fs::path& pack, std::size_t maxBytes) {
    static std::atomic<unsigned> counter{0};
    std::error_code ec;
    const fs::path temp =
        fs::temp_directory_path(ec) /
        ("velmora-pack-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::string why;
    std::optional<std::string> out;
    if (!ec && UnpackThemePack(pack, temp, why)) {
        const fs::path theme = FindThemeFile(temp);
        std::string bytes;
        if (!theme.empty() && !ReadWholeFile(theme, bytes, maxBytes))
            out = std::move(bytes);
    }
    fs::remove_all(temp, ec);
    return out;
}

} // namespace velmora::sim
