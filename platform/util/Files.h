#pragma once
// Whole-file reads and writes for every layer. Both report failure the same
// way: an error code, empty on success, whose message() the caller can show.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace velmora {

// The whole file into out, when it holds at most maxBytes; otherwise the
// error (std::errc::file_too_large for a larger file) and out left empty.
[[nodiscard]] std::error_code ReadWholeFile(const std::filesystem::path& file, std::string& out,
                                            std::uintmax_t maxBytes);

// Writes the bytes to a temporary file beside target, flushes it to disk and
// renames it over target: a reader sees the old content or the new, never a
// part. On failure target is untouched and no temporary file is left.
[[nodiscard]] std::error_code WriteFileAtomically(const std::filesystem::path& target,
                                                  std::string_view bytes);

// Appends the bytes at the end of file (made when missing, for its owner
// only where the system has such modes) with one write, and has them on disk
// before it returns: a record written line by line this way loses at most the
// line being written when the process or the machine stops. Other processes
// appending to the same file must hold a lock around their appends.
[[nodiscard]] std::error_code AppendToFileDurably(const std::filesystem::path& file,
                                                  std::string_view bytes);

// Appends the bytes at the end of file (made when missing, for its owner
// only where the system has such modes) and has them on disk before it
// returns: a record written line by line this way loses at most the line
// being written when the process or the machine stops. Processes appending
// to one file at once hold a TFileLock around their appends.
[[nodiscard]] std::error_code AppendToFileDurably(const std::filesystem::path& file,
                                                  std::string_view bytes);

// Copies the file from over to (replacing what is there). The standard
// library's copy_file cannot replace a file on Windows with the mingw-w64
// runtime (it takes any two files of one drive for the same file).
[[nodiscard]] std::error_code CopyFileReplacing(const std::filesystem::path& from,
                                                const std::filesystem::path& to);

// A name in target's folder for the file that will become target: unique in
// this process and across processes, shaped "<target name>.<16 hex>.tmp" (a
// long target name is shortened so the result stays a valid name).
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target);
// What TemporaryNameBeside adds after the (kept part of the) target's name.
constexpr std::size_t TemporaryNameTailBytes = 1 + 16 + 4; // ".<16 hex digits>.tmp"

// The path lexically normal and without a trailing separator, so that a
// folder is one path however it was written ("a/b/" and "a/./b" are "a/b").
inline std::filesystem::path NormalPath(const std::filesystem::path& p) {
    std::filesystem::path n = p.lexically_normal();
    if (!n.has_filename() && n.has_parent_path())
        n = n.parent_path();
    return n;
}

// Whether the name has the shape TemporaryNameBeside gives, so that one left
// behind by a crash can be recognised and removed.
bool IsTemporaryName(const std::filesystem::path& file);

// The name the temporary stands for (the target's name, shortened as
// TemporaryNameBeside keeps it); empty for any other name.
std::string_view TemporaryTarget(std::string_view fileName);

// Marks a file this process has open for writing (its descriptor) as held:
// IsLockedByWriter sees it from any process until the descriptor is closed.
// A file system without locks leaves the file unmarked.
void HoldForWriting(int fd);
// Creates a new file (failing with errno EEXIST when the name exists) and
// returns its descriptor open for writing, held (as HoldForWriting) from the
// moment it has its name; -1 and errno set on failure.
int CreateHeldFile(const std::filesystem::path& file);
// Whether a running program holds the file for writing (HoldForWriting). On
// Windows, which has no advisory locks, whether any process has the file
// open (an open file cannot be removed there anyway).
bool IsLockedByWriter(const std::filesystem::path& path);

// Removes the temporary files (TemporaryNameBeside) left in folder by
// programs that ended: those no running program holds (IsLockedByWriter);
// with `target` given, only those whose TemporaryTarget it accepts; with
// `recursive`, in every folder below too (links are not followed). A file
// that cannot be removed is left. Returns how many were removed.
std::size_t RemoveStaleTemporaries(const std::filesystem::path& folder, bool recursive,
                                   const std::function<bool(std::string_view)>& target = {});

// std::fopen for a path of any system (the wide name on Windows); mode is
// fopen's ("rb", "wb", "ab"). nullptr and errno set on failure.
std::FILE* OpenCFile(const std::filesystem::path& file, const char* mode);

} // namespace velmora
