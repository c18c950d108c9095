#pragma once
// Shared helpers of the program: message boxes, text extraction and URL
// escaping. Strings are UTF-8 unless a parameter says otherwise.
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmora {

enum TMessageKind { mkInformation = 0, mkQuestion = 1, mkWarning = 2, mkError = 3 };

// Buttons as the system reports them.
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Default title and Windows message-box style of each kind.
extern const char* const MessageKindTitles[4];
extern const unsigned MessageKindStyles[4];

struct TMessageRequest {
    std::string Text;
    std::string Title; // the caption, or the kind's default title
    TMessageKind Kind = mkInformation;
    unsigned Style = 0;
};

// Where message boxes go. The user interface installs one that shows a modal
// box; tests install one that records and answers in advance.
class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    virtual int Show(const TMessageRequest& request) = 0;
};

// Installs the sink (nullptr restores the default, which writes the message to
// stderr and answers OK, or No to a question). Returns the previous sink.
IMessageSink* SetMessageSink(IMessageSink* sink);

// Shows a modal message; blocks until answered. Returns IDOK, IDYES or IDNO.
int ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind);

// The text between two markers. startPos counts characters from 1 (0 and 1
// both mean the beginning). With ignoreCase only the markers are found without
// regard to ASCII case; the result keeps the source's case.
std::string ExtractBetween(std::string_view source, std::string_view startMarker,
                           std::string_view endMarker, unsigned startPos = 0,
                           bool ignoreCase = true, bool allowMissingEnd = true);

// Removes leading and trailing characters up to and including the space
// (control characters included).
std::string Trim(std::string_view text);

// Percent-escapes everything except ASCII letters, digits, "." and "_".
// Characters outside ASCII are written as their UTF-8 bytes (utf8Mode) or their
// code page 936 bytes; a character code page 936 lacks becomes "?" first.
std::string UrlEncode(std::string_view text, bool utf8Mode);

// The conversion error of UrlDecode.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Undoes %XX escapes and turns "+" into a space. Throws EConvertError
// "Invalid hex digit in URL" on a bad escape. The result is a byte string.
std::string UrlDecode(std::string_view text);

// The address in a form every server accepts on its request line: each byte
// that may not stand in an address (controls, space, bytes above 0x7E and
// " < > \ ^ ` { | }) becomes %XX, and so does a "%" that starts no valid
// escape. Valid escapes and the reserved characters (/ ? & = + : # ...) stay as
// they are, so an address that is already fine is returned unchanged.
std::string EscapeUrlForRequest(std::string_view url);

// ---------------------------------------------------------------------------
// Shell and desktop helpers (uPubFuncShell.cpp). They reach Windows only
// through the system interface they are given.
// ---------------------------------------------------------------------------

class ISystem;

// The folder that the folder picker preselects; set by its caller before.
extern std::string BrowseInitialFolder;

// Deletes the folder with everything in it, depth first. A file that cannot be
// deleted (read-only, in use) is skipped silently and its folders stay. A
// symbolic link or junction is removed itself, never followed. An empty path
// deletes nothing.
void DeleteFolderTree(ISystem& system, const std::filesystem::path& folder);

// Makes file the current user's screen saver and starts it, or with cancel
// empties the screen saver value. True when the registry was changed. A missing
// file (not cancelling) shows "没有找到屏保文件" and returns false.
bool SetScreenSaver(ISystem& system, const std::filesystem::path& file, bool cancel);

// Makes the picture the desktop wallpaper. Throws ERegistryException "Failed to
// set data for 'Wallpaper'" when the desktop key cannot be opened.
void SetWallpaper(ISystem& system, const std::filesystem::path& file);

// The special folder of a CSIDL number, without a trailing separator; empty
// when it cannot be resolved.
std::string GetSpecialFolder(ISystem& system, int csidl);

// The shell's folder picker with BrowseInitialFolder preselected and root (may
// be empty) as the top of its tree. True and folder set when the user chose a
// folder; false and folder empty when cancelled.
bool BrowseForFolder(ISystem& system, const std::string& text, const std::filesystem::path& root,
                     std::string& folder, std::uintptr_t ownerWindow = 0);

// The shell helper library's export 633, called before the shell is told of a
// folder's new icon. Silent when it is missing.
void CallShlwapi633(ISystem& system);

} // namespace velmora
