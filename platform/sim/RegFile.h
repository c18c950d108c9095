#pragma once
// The current user's registry kept as text in the .reg format (version 5.00,
// UTF-8). Key and value names compare without regard to ASCII case, as on
// Windows; the spelling of the first writer is kept.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmora::sim {

struct TRegValue {
    std::string Name; // "" is the default value (@)
    std::string Data; // the text of a REG_SZ value, or the raw right-hand side
    bool Raw = false; // a type this backend does not write: kept as read
};

struct TRegKeyData {
    std::string Path; // below HKEY_CURRENT_USER, backslash-separated, "" the root
    std::vector<TRegValue> Values;
};

// The registry file is read only this far; a larger one is set aside.
constexpr std::uintmax_t MaxRegistryFileBytes = 64 << 20;

class TRegFile {
public:
    // Parses .reg text. False when the text is not a registry file.
    bool Parse(const std::string& text);
    std::string Format() const;

    // Loads from disk (a missing file is an empty registry). A file that is not
    // a registry file is set aside under a new name, never overwritten.
    void Load(const std::filesystem::path& file);
    // Writes atomically: a temporary file beside it, flushed, then renamed.
    bool Save(const std::filesystem::path& file) const;

    TRegKeyData* Find(const std::string& path);
    // Creates the key and its parents.
    TRegKeyData& Create(const std::string& path);

    static bool SameName(const std::string& a, const std::string& b);
    // "a\\b\\" -> "a\\b": no leading, trailing or doubled separators.
    static std::string NormalKey(const std::string& path);
    // True when path is key itself or a key below it.
    static bool IsWithin(const std::string& path, const std::string& key);

    std::vector<TRegKeyData> Keys;
};

} // namespace velmora::sim
