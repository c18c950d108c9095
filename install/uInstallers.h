#pragma once
// What the three installers share: the check on item names that become folder
// and file names, and the uninstall command of the catalogue lists' menu.
#include "install/uFolders.h"
#include "install/uZip.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class ISystem;

// Raised when an installer is given a name it cannot turn into a folder.
class EInstallError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A name that stays one folder or file inside its parent: not empty, no
// separator or colon, not made of dots and spaces only ("." and "..").
bool IsPlainItemName(std::string_view name);

// The item's name as the installers take it from the package path: the file
// name without its last four characters (the ".zip").
std::string PackageItemName(const std::filesystem::path& package);

// The category the uninstall command works on for a page of the main window's
// page control: 0 themes, 2 cursor schemes, 3 screen savers (the list tags);
// -1 on any other page, where the command does nothing.
int UninstallTagForPage(int pageIndex);

// Tells the system's change record about every file the archive is about to
// write below dest, so that a restore can take them back (a file that was not
// there is removed again, a replaced one comes back).
void RecordExtraction(ISystem& system, const TZipFile& zip, const std::filesystem::path& dest);

// Records (as above) and extracts the archive below dest, names matched as
// the system matches them: re-extracting over names in another letter case
// replaces those files and keeps their names.
void ExtractPackage(ISystem& system, TZipFile& zip, const std::filesystem::path& dest,
                    TOverwriteMode mode);

// A folder the installers unpack packages into, as the system names it, and
// whether they unpack into its subfolders too.
struct TExtractionFolder {
    std::filesystem::path Folder;
    bool Recursive = false;
};
// Those of the fields' system folders that are resolved (absolute).
std::vector<TExtractionFolder> ExtractionFolders(const TFolderFields& folders, ISystem& system);
// Removes the temporary files that extractions cut off with their program
// (a kill, a crash) left in those folders; those a running program is
// writing stay. Touches no system state: safe on a worker. Returns how many
// were removed.
std::size_t RemoveStaleExtractions(const std::vector<TExtractionFolder>& folders);

// Runs the removal of the item's category (tag as above) on the row's fields.
// No question, no message. Other tags do nothing.
void UninstallItem(int tag, const std::string& name, bool isZip, bool& installed,
                   const TFolderFields& folders, ISystem& system);

} // namespace velmora
