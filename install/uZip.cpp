#include "install/uZip.h"

#include "install/CodePage.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"

#include <zip.h>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <utility>

namespace velmora {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t ChunkSize = 256 * 1024;
// The smallest ZIP archive is its end-of-directory record.
constexpr std::uintmax_t MinArchiveSize = 22;
// Written files are kept open until they are moved to their names, up to
// this many at once (well within the descriptors a process may have).
constexpr std::size_t MaxHeldFiles = 256;

// The longest file name the file systems we write to accept, in bytes.
constexpr std::size_t MaxNameBytes = 255;

// File type bits of the Unix mode that archivers on Unix store.
constexpr zip_uint32_t UnixTypeMask = 0170000;
constexpr zip_uint32_t UnixSymlink = 0120000;

// The few file calls that differ between the systems.
#ifdef _WIN32
long WriteSome(int fd, const char* data, std::size_t size) {
    return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
int CloseFile(int fd) {
    return ::_close(fd);
}
// libzip takes UTF-8 file names on Windows.
std::string ZipPathArg(const fs::path& p) {
    auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}
#else
long WriteSome(int fd, const char* data, std::size_t size) {
    return static_cast<long>(::write(fd, data, size));
}
int CloseFile(int fd) {
    return ::close(fd);
}
std::string ZipPathArg(const fs::path& p) {
    return p.string();
}
#endif

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

std::vector<std::string_view> Components(std::string_view name) {
    std::vector<std::string_view> parts;
    std::size_t i = 0;
    while (i <= name.size()) {
        std::size_t j = i;
        while (j < name.size() && !IsSeparator(name[j]))
            ++j;
        parts.push_back(name.substr(i, j - i));
        i = j + 1;
    }
    return parts;
}

// Windows drops trailing dots and spaces from a name, so ". ." and "..  "
// may mean the parent folder there.
bool OnlyDotsAndSpaces(std::string_view part) {
    return !part.empty() && part.find_first_not_of(". ") == std::string_view::npos;
}

// Appended piece by piece: mingw's GCC 12 misreads `"\"" + string` as an
// overlapping copy (-Wrestrict).
std::string Quoted(const fs::path& p) {
    std::string out = p.string();
    out.insert(out.begin(), '"');
    out.push_back('"');
    return out;
}

std::string ZipReason(zip_error_t* error) {
    switch (zip_error_code_zip(error)) {
    case ZIP_ER_NOZIP:
        return "it is not a ZIP archive";
    case ZIP_ER_INCONS:
    case ZIP_ER_CRC:
    case ZIP_ER_COMPRESSED_DATA:
    case ZIP_ER_EOF:
    case ZIP_ER_ZLIB:
        return std::string("the archive is damaged (") + zip_error_strerror(error) + ")";
    default:
        return zip_error_strerror(error);
    }
}

std::string SystemReason(int err) {
    return std::strerror(err);
}

// An open entry of the archive, closed with the object.
class TEntryReader {
public:
    TEntryReader(zip_t* za, std::size_t index, const fs::path& archive, const std::string& name)
        : FArchive(archive), FName(name) {
        FFile = zip_fopen_index(za, index, 0);
        if (!FFile)
            Fail(zip_get_error(za));
    }
    ~TEntryReader() {
        if (FFile)
            zip_fclose(FFile);
    }
    TEntryReader(const TEntryReader&) = delete;
    TEntryReader& operator=(const TEntryReader&) = delete;

    // Bytes read into buf; 0 at the end of the entry.
    std::size_t Read(char* buf, std::size_t size) {
        zip_int64_t n = zip_fread(FFile, buf, size);
        if (n < 0)
            Fail(zip_file_get_error(FFile));
        return static_cast<std::size_t>(n);
    }

private:
    [[noreturn]] void Fail(zip_error_t* error) {
        throw EZipError("Cannot read entry \"" + FName + "\" of the ZIP archive " +
                        Quoted(FArchive) + ": " + ZipReason(error));
    }

    zip_file_t* FFile = nullptr;
    const fs::path& FArchive;
    const std::string& FName;
};

// Counts what an extraction writes and refuses it once a bound is passed.
class TByteBudget {
public:
    TByteBudget(const TZipLimits& limits, std::uintmax_t archiveSize, const fs::path& archive)
        : FLimits(limits), FArchiveSize(archiveSize), FArchive(archive) {}

    void Add(std::uint64_t n) {
        FTotal += n;
        if (FTotal > FLimits.MaxTotalBytes)
            Refuse("its entries expand beyond " + std::to_string(FLimits.MaxTotalBytes) + " bytes");
        if (FTotal > FLimits.RatioFreeBytes && FTotal / FLimits.MaxRatio > FArchiveSize)
            Refuse("its entries expand more than " + std::to_string(FLimits.MaxRatio) +
                   " times the archive's size");
    }

    [[noreturn]] void Refuse(const std::string& why) const {
        throw EZipError("The ZIP archive " + Quoted(FArchive) + " was refused: " + why);
    }

private:
    const TZipLimits& FLimits;
    std::uintmax_t FArchiveSize;
    const fs::path& FArchive;
    std::uint64_t FTotal = 0;
};

// A file descriptor closed with the object.
class TFd {
public:
    explicit TFd(int fd) : FFd(fd) {}
    ~TFd() { Close(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    int Release() { return std::exchange(FFd, -1); }
    int Close() {
        int r = 0;
        if (FFd >= 0)
            r = CloseFile(FFd);
        FFd = -1;
        return r;
    }

private:
    int FFd;
};

// What an extraction has put on disk so far, undone unless committed.
class TStaging {
public:
    explicit TStaging(const fs::path& dest) : FRoot(dest.lexically_normal()) {
        if (!FRoot.has_filename() && FRoot.has_relative_path())
            FRoot = FRoot.parent_path();
    }
    ~TStaging() {
        if (!FCommitted)
            Rollback();
    }

    const fs::path& Root() const { return FRoot; }

    // Creates the destination and its missing parents.
    void EnsureRoot() {
        std::error_code ec;
        if (fs::is_directory(FRoot, ec))
            return;
        for (fs::path dir = FRoot; !dir.empty(); dir = dir.parent_path()) {
            if (fs::is_directory(dir, ec))
                break;
            FMissing.push_back(dir);
            if (dir == dir.parent_path())
                break;
        }
        for (auto it = FMissing.rbegin(); it != FMissing.rend(); ++it)
            MakeFolder(*it);
        FMissing.clear();
    }

    // Creates a folder below the destination with its missing parents. A link
    // found there is refused: it could lead anywhere. So is a folder where a
    // file of this archive will go.
    void EnsureBelow(const fs::path& dir) {
        if (dir == FRoot || FKnown.count(dir))
            return;
        if (!dir.has_relative_path() || dir.parent_path() == dir)
            throw EZipError("Cannot write " + Quoted(dir) + ": it is outside " + Quoted(FRoot));
        EnsureBelow(dir.parent_path());
        if (FFiles.count(dir))
            throw EZipError("Cannot create the folder " + Quoted(dir) +
                            ": the archive also holds a file of that name");
        std::error_code ec;
        auto status = fs::symlink_status(dir, ec);
        if (fs::is_symlink(status))
            throw EZipError("Cannot write below " + Quoted(dir) +
                            ": it is a link that may lead outside " + Quoted(FRoot));
        if (!fs::exists(status))
            MakeFolder(dir);
        else if (!fs::is_directory(status))
            throw EZipError("Cannot create the folder " + Quoted(dir) +
                            ": a file of that name exists");
        FKnown.insert(dir);
    }

    bool IsStaged(const fs::path& file) const { return FFiles.count(file) > 0; }

    // A new, empty temporary file beside final; its descriptor is returned.
    int CreateTemp(const fs::path& final, fs::path& temp) {
        const fs::path folder = final.parent_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            temp = TemporaryNameBeside(final);
            // Held until it is moved to its name, so that the sweep of
            // leftovers by another run passes it by.
            int fd = CreateHeldFile(temp);
            if (fd >= 0) {
                FTemps.push_back(temp);
                return fd;
            }
            if (errno != EEXIST)
                throw EZipError("Cannot create a file in " + Quoted(folder) + ": " +
                                SystemReason(errno));
        }
        throw EZipError("Cannot create a file in " + Quoted(folder));
    }

    // The written file goes to its name at Commit. Its descriptor stays open
    // (and the file held) until then, as far as the budget of descriptors
    // allows; beyond it the file is closed now.
    void Stage(const fs::path& temp, const fs::path& final, TFd& fd) {
        int held = -1;
        if (FHeldCount < MaxHeldFiles) {
            held = fd.Release();
            ++FHeldCount;
        } else if (fd.Close() != 0) {
            throw EZipError("Cannot write " + Quoted(final) + ": " + SystemReason(errno));
        }
        FMoves.push_back({temp, final, held});
        FFiles.insert(final);
    }

    // Moves every staged file to its name, in archive order, so a later entry
    // of the same name wins.
    void Commit() {
        for (auto& [temp, final, fd] : FMoves) {
            // Closed first: an open file cannot be moved on Windows.
            if (fd >= 0 && CloseFile(std::exchange(fd, -1)) != 0)
                throw EZipError("Cannot write " + Quoted(final) + ": " + SystemReason(errno));
            std::error_code ec;
            fs::rename(temp, final, ec);
            if (ec)
                throw EZipError("Cannot write " + Quoted(final) + ": " + ec.message());
        }
        FCommitted = true;
    }

private:
    void MakeFolder(const fs::path& dir) {
        std::error_code ec;
        if (fs::create_directory(dir, ec)) {
            FFolders.push_back(dir);
            return;
        }
        if (!fs::is_directory(dir, ec))
            throw EZipError("Cannot create the folder " + Quoted(dir) + ": " +
                            (ec ? ec.message() : std::string("a file of that name exists")));
    }

    void Rollback() {
        for (auto& move : FMoves)
            if (move.Fd >= 0)
                CloseFile(std::exchange(move.Fd, -1));
        std::error_code ec;
        for (const auto& t : FTemps)
            fs::remove(t, ec);
        // Only folders this extraction made, and only while they are empty.
        for (auto it = FFolders.rbegin(); it != FFolders.rend(); ++it)
            fs::remove(*it, ec);
    }

    fs::path FRoot;
    std::vector<fs::path> FMissing;
    std::set<fs::path> FKnown;      // folders below the root that are checked
    std::set<fs::path> FFiles;      // final names taken by staged files
    std::vector<fs::path> FFolders; // made by this extraction, in order
    std::vector<fs::path> FTemps;
    struct TMove {
        fs::path Temp, Final;
        int Fd; // held open until the move, or -1
    };
    std::vector<TMove> FMoves;
    std::size_t FHeldCount = 0;
    bool FCommitted = false;
};

void WriteAll(int fd, const char* data, std::size_t size, const fs::path& final) {
    while (size > 0) {
        long n = WriteSome(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EZipError("Cannot write " + Quoted(final) + ": " + SystemReason(errno));
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

} // namespace

std::string UnsafeEntryReason(const TZipEntry& entry) {
    const std::string& name = entry.Name;
    if (entry.IsSymlink)
        return "a symbolic link";
    if (name.empty())
        return "an empty name";
    // The system would cut the name there: what is checked is not what is written.
    if (name.find('\0') != std::string::npos)
        return "a NUL character";
    if (IsSeparator(name.front()))
        return "an absolute path";
    if (name.find(':') != std::string::npos)
        return "a drive letter or stream name";
    if (name.size() > MaxEntryPathBytes)
        return "a name longer than " + std::to_string(MaxEntryPathBytes) + " bytes";
    auto parts = Components(name);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string_view part = parts[i];
        if (part.size() > MaxNameBytes)
            return "a file or folder name longer than " + std::to_string(MaxNameBytes) + " bytes";
        if (part == ".")
            continue;
        if (OnlyDotsAndSpaces(part))
            return "a parent-folder component";
        if (IsWindowsDeviceName(part))
            return "a device name";
        if (i + 1 == parts.size() && !entry.IsFolder && part.empty())
            return "no file name";
    }
    if (!entry.IsFolder && entry.FileName == ".")
        return "no file name";
    return {};
}

struct TZipFile::TImpl {
    zip_t* Zip = nullptr;
    std::uintmax_t FileSize = 0;
    ~TImpl() {
        if (Zip)
            zip_discard(Zip);
    }
};

TZipFile::TZipFile(const fs::path& file) : FFile(file), FImpl(std::make_unique<TImpl>()) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        throw EZipError("Cannot open the ZIP archive " + Quoted(file) + ": " +
                        (fs::exists(file, ec) ? "it is not a file" : "no such file"));
    FImpl->FileSize = fs::file_size(file, ec);
    // libzip treats an empty file as a new, empty archive.
    if (ec || FImpl->FileSize < MinArchiveSize)
        throw EZipError("Cannot open the ZIP archive " + Quoted(file) +
                        ": it is not a ZIP archive");

    // No consistency check on open: it refuses archives with two entries of
    // one name, which other tools extract; damage shows when an entry is read.
    int code = 0;
    FImpl->Zip = zip_open(ZipPathArg(file).c_str(), ZIP_RDONLY, &code);
    if (!FImpl->Zip) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        std::string reason = ZipReason(&error);
        zip_error_fini(&error);
        throw EZipError("Cannot open the ZIP archive " + Quoted(file) + ": " + reason);
    }

    zip_int64_t count = zip_get_num_entries(FImpl->Zip, 0);
    FEntries.reserve(static_cast<std::size_t>(count));
    for (zip_int64_t i = 0; i < count; ++i) {
        auto index = static_cast<zip_uint64_t>(i);
        const char* raw = zip_get_name(FImpl->Zip, index, ZIP_FL_ENC_RAW);
        if (!raw)
            throw EZipError("Cannot read the ZIP archive " + Quoted(file) + ": " +
                            ZipReason(zip_get_error(FImpl->Zip)));
        TZipEntry e;
        // Packages made on Chinese Windows store names in code page 936
        // without saying so; names that are valid UTF-8 are taken as such.
        e.Name = IsValidUtf8(raw) ? std::string(raw) : Cp936ToUtf8(raw);
        std::size_t cut = e.Name.find_last_of("/\\");
        e.FolderPart = cut == std::string::npos ? std::string() : e.Name.substr(0, cut + 1);
        e.FileName = cut == std::string::npos ? e.Name : e.Name.substr(cut + 1);
        e.IsFolder = !e.Name.empty() && e.FileName.empty();

        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(FImpl->Zip, index, ZIP_FL_ENC_RAW, &st) == 0 &&
            (st.valid & ZIP_STAT_SIZE))
            e.DeclaredSize = st.size;

        zip_uint8_t opsys = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(FImpl->Zip, index, 0, &opsys, &attributes) == 0 &&
            opsys == ZIP_OPSYS_UNIX)
            e.IsSymlink = ((attributes >> 16) & UnixTypeMask) == UnixSymlink;
        FEntries.push_back(std::move(e));
    }
}

TZipFile::~TZipFile() = default;

std::vector<std::string> TZipFile::UnsafeEntries() const {
    std::vector<std::string> names;
    for (const auto& e : FEntries)
        if (!UnsafeEntryReason(e).empty())
            names.push_back(e.Name);
    return names;
}

namespace {

std::string PlainPath(std::string_view name) {
    std::string out;
    for (std::string_view part : Components(name)) {
        if (part.empty() || part == ".")
            continue;
        if (!out.empty())
            out += '/';
        out += part;
    }
    return out;
}

// Refusals that depend on the archive alone, shared by the extraction and the
// check before upload so that the two always agree.
void CheckArchive(const std::vector<TZipEntry>& entries, const TZipLimits& limits,
                  const TByteBudget& budget) {
    if (entries.size() > limits.MaxEntries)
        budget.Refuse("it holds more than " + std::to_string(limits.MaxEntries) + " entries");
    std::uint64_t declared = 0;
    for (const auto& e : entries)
        declared += std::min<std::uint64_t>(e.DeclaredSize, limits.MaxTotalBytes + 1);
    if (declared > limits.MaxTotalBytes)
        budget.Refuse("its entries expand beyond " + std::to_string(limits.MaxTotalBytes) +
                      " bytes");
    std::set<std::string> files, folders;
    for (const auto& e : entries) {
        if (!UnsafeEntryReason(e).empty())
            continue;
        std::string path = PlainPath(e.Name);
        (e.IsFolder ? folders : files).insert(path);
        for (std::size_t cut = path.rfind('/'); cut != std::string::npos && cut > 0;
             cut = path.rfind('/', cut - 1))
            folders.insert(path.substr(0, cut));
    }
    for (const auto& f : files)
        if (folders.count(f))
            budget.Refuse("\"" + f + "\" is both a file and a folder in it");
}

} // namespace

std::string ExtractedPath(const TZipEntry& entry) {
    return PlainPath(entry.Name);
}

std::optional<std::size_t> FindRootFile(const std::vector<TZipEntry>& entries,
                                        const std::function<bool(std::string_view)>& match,
                                        bool firstWins) {
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TZipEntry& e = entries[i];
        if (e.IsFolder || !UnsafeEntryReason(e).empty())
            continue;
        const std::string path = PlainPath(e.Name);
        if (path.find('/') != std::string::npos || !match(path))
            continue;
        found = i;
        if (firstWins)
            break;
    }
    return found;
}

std::optional<std::size_t> FindRootFile(const std::vector<TZipEntry>& entries,
                                        std::string_view name) {
    return FindRootFile(entries,
                        [name](std::string_view n) { return EqualsIgnoreCaseAscii(n, name); });
}

namespace {

// Where each entry is written below root. With resolve, each folder and file
// name is looked up once, before anything of this archive is on disk; below a
// folder that does not exist yet nothing needs looking up.
std::vector<fs::path> ExtractionTargets(const fs::path& root, const std::vector<TZipEntry>& entries,
                                        const TPathResolver& resolve) {
    struct TKnown {
        fs::path Name;
        bool Exists;
    };
    std::map<std::string, TKnown> known; // by the lowered path
    std::vector<fs::path> targets;
    targets.reserve(entries.size());
    for (const auto& e : entries) {
        fs::path at = root;
        bool exists = true;
        for (std::string_view part : Components(e.Name)) {
            if (part.empty() || part == ".")
                continue;
            fs::path next = at / fs::path(std::string(part));
            if (!resolve) {
                at = std::move(next);
                continue;
            }
            const std::string key = LowerAscii(next.string());
            auto it = known.find(key);
            if (it == known.end()) {
                std::error_code ec;
                fs::path name = exists ? resolve(next) : next;
                const bool found = exists && fs::exists(fs::symlink_status(name, ec));
                it = known.emplace(key, TKnown{std::move(name), found}).first;
            }
            at = it->second.Name;
            exists = it->second.Exists;
        }
        targets.push_back(std::move(at));
    }
    return targets;
}

} // namespace

void TZipFile::ExtractAll(const fs::path& dest, TOverwriteMode mode, const TZipLimits& limits,
                          const TPathResolver& resolve) {
    TByteBudget budget(limits, FImpl->FileSize, FFile);
    for (const auto& e : FEntries) {
        std::string why = UnsafeEntryReason(e);
        if (!why.empty())
            budget.Refuse("entry \"" + e.Name.substr(0, 300) + "\" is " + why +
                          ", which cannot be written below " + Quoted(dest));
    }
    CheckArchive(FEntries, limits, budget);

    TStaging staging(resolve ? resolve(dest) : dest);
    const std::vector<fs::path> targets = ExtractionTargets(staging.Root(), FEntries, resolve);
    staging.EnsureRoot();
    std::vector<char> buf(ChunkSize);
    for (std::size_t i = 0; i < FEntries.size(); ++i) {
        const TZipEntry& e = FEntries[i];
        const fs::path& target = targets[i];
        if (e.IsFolder) {
            staging.EnsureBelow(target);
            continue;
        }
        fs::path folder = target.parent_path();
        staging.EnsureBelow(folder);

        std::error_code ec;
        auto status = fs::symlink_status(target, ec);
        if (mode == omNever && (fs::exists(status) || staging.IsStaged(target)))
            continue;
        if (fs::is_directory(status))
            throw EZipError("Cannot write " + Quoted(target) + ": a folder of that name exists");
        // Checked now: a name the system refuses would otherwise fail only
        // when the files are moved into place.
        if (target.filename().string().size() > MaxNameBytes)
            throw EZipError("Cannot write " + Quoted(target) + ": the name is too long");

        fs::path temp;
        TFd fd(staging.CreateTemp(target, temp));
        TEntryReader reader(FImpl->Zip, i, FFile, e.Name);
        while (std::size_t n = reader.Read(buf.data(), buf.size())) {
            budget.Add(n);
            WriteAll(fd.Get(), buf.data(), n, target);
        }
        staging.Stage(temp, target, fd);
    }
    staging.Commit();
}

void TZipFile::Verify(const TZipLimits& limits) {
    TByteBudget budget(limits, FImpl->FileSize, FFile);
    CheckArchive(FEntries, limits, budget);
    std::vector<char> buf(ChunkSize);
    for (std::size_t i = 0; i < FEntries.size(); ++i) {
        if (FEntries[i].IsFolder || FEntries[i].IsSymlink)
            continue;
        TEntryReader reader(FImpl->Zip, i, FFile, FEntries[i].Name);
        while (std::size_t n = reader.Read(buf.data(), buf.size()))
            budget.Add(n);
    }
}

std::string TZipFile::ReadEntry(std::size_t index, std::size_t maxBytes) {
    const TZipEntry& e = FEntries.at(index);
    TEntryReader reader(FImpl->Zip, index, FFile, e.Name);
    std::string out;
    std::array<char, 64 * 1024> buf;
    while (std::size_t n = reader.Read(buf.data(), buf.size())) {
        if (out.size() + n > maxBytes)
            throw EZipError("Entry \"" + e.Name + "\" of the ZIP archive " + Quoted(FFile) +
                            " is larger than " + std::to_string(maxBytes) + " bytes");
        out.append(buf.data(), n);
    }
    return out;
}

} // namespace velmora
