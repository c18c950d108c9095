#pragma once
// The ZIP facility of the installers: lists a package's entries in archive
// order and extracts them below a folder. Entries stream to disk; a package is
// never held whole in memory.
//
// Extraction is all or nothing: every entry is first written to a temporary
// file beside its final name, and only when the whole archive has been read
// are the files moved to their names. A damaged, unsafe or oversized archive
// leaves the destination as it was.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Raised for a file that is not a ZIP archive, a damaged archive, an archive
// that is refused, and a destination that cannot be written. The text says
// which and names the archive.
class EZipError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum TOverwriteMode {
    omNever,  // an existing file stays; the archive's copy is skipped
    omAlways, // an existing file is replaced
};

struct TZipEntry {
    std::string Name;       // as stored, decoded to UTF-8 (code page 936 when not UTF-8)
    std::string FolderPart; // up to and including the last "/" or "\"; empty at the root
    std::string FileName;   // after the last separator; empty for a folder entry
    bool IsFolder = false;
    bool IsSymlink = false;
    std::uint64_t DeclaredSize = 0; // what the archive claims; never trusted
};

// Bounds no real package comes near. They count bytes actually written.
struct TZipLimits {
    std::uint64_t MaxEntries = 100000;
    std::uint64_t MaxTotalBytes = std::uint64_t(4) << 30; // 4 GiB in all
    // Beyond RatioFreeBytes written, the output may be at most MaxRatio times
    // the archive file's size (deflate alone tops out near 1032:1).
    std::uint64_t MaxRatio = 1000;
    std::uint64_t RatioFreeBytes = std::uint64_t(64) << 20;
};

// The longest entry name extracted, in bytes: with any destination of a sane
// length the full path stays within what the system accepts.
inline constexpr std::size_t MaxEntryPathBytes = 1024;

// Why an entry would write outside its destination or could not be written
// anywhere: an absolute name, a drive letter or other colon, a ".." component
// (either separator), an empty name, a symbolic link, a component longer than
// 255 bytes or a name longer than MaxEntryPathBytes. Empty when the entry is
// safe. Extraction refuses exactly these, whatever the destination.
std::string UnsafeEntryReason(const TZipEntry& entry);

// Where extraction writes the entry below its destination: the components of
// its name joined with "/", empty ones and "." left out ("./a\\b" is "a/b").
std::string ExtractedPath(const TZipEntry& entry);

// The file entry that extraction writes at the destination's root under a
// name `match` accepts: what an installer finds there after extracting. When
// several do, the last (it replaces the others) or, with firstWins, the first.
// The package check and the installers both look names up through this.
std::optional<std::size_t> FindRootFile(const std::vector<TZipEntry>& entries,
                                        const std::function<bool(std::string_view)>& match,
                                        bool firstWins = false);
// The root file of that name, matched without regard to ASCII case, as
// Windows finds files.
std::optional<std::size_t> FindRootFile(const std::vector<TZipEntry>& entries,
                                        std::string_view name);

// The name a path has on the system that will hold it (ISystem::ResolvePath).
using TPathResolver = std::function<std::filesystem::path(const std::filesystem::path&)>;

class TZipFile {
public:
    // Opens and reads the archive's directory; throws EZipError when the file
    // is not a readable ZIP archive.
    explicit TZipFile(const std::filesystem::path& file);
    ~TZipFile();
    TZipFile(const TZipFile&) = delete;
    TZipFile& operator=(const TZipFile&) = delete;

    const std::filesystem::path& File() const { return FFile; }
    // In archive order.
    const std::vector<TZipEntry>& Entries() const { return FEntries; }
    // Names of the entries that UnsafeEntryReason refuses, in archive order.
    std::vector<std::string> UnsafeEntries() const;

    // Extracts every entry below dest (created as needed), recreating the
    // archive's folders. Refuses an archive with an unsafe entry before
    // anything is written. Throws EZipError; on any error nothing is left.
    // With `resolve`, names are matched as Windows matches them: an entry
    // whose name exists in another letter case replaces (or, with omNever,
    // keeps) that file under its name on disk, and names of this archive
    // that differ only in case are one file or folder, named as first seen.
    void ExtractAll(const std::filesystem::path& dest, TOverwriteMode mode,
                    const TZipLimits& limits = {}, const TPathResolver& resolve = {});

    // Decompresses every entry without writing it, under the same limits:
    // throws EZipError for damaged data, an oversized archive or one that
    // holds a name both as a file and as a folder — every refusal of
    // ExtractAll that does not depend on the destination, except unsafe
    // entries, which UnsafeEntries lists.
    void Verify(const TZipLimits& limits = {});

    // The bytes of one entry, read whole; throws EZipError when the entry is
    // larger than maxBytes or damaged. For small files such as setup.inf.
    std::string ReadEntry(std::size_t index, std::size_t maxBytes);

private:
    struct TImpl;
    std::filesystem::path FFile;
    std::vector<TZipEntry> FEntries;
    std::unique_ptr<TImpl> FImpl;
};

} // namespace velmora
