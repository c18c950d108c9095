#pragma once
// The backends the conformance table runs against, and small fixtures that
// both the native and the Win32 test builds can use (no test support library).
#include "platform/ISystem.h"
#include "tests/support/PictureFiles.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace velmora::test {

struct TBackendCase {
    std::string Name;
    // Makes the backend; scratch is a fresh folder the case may use.
    std::function<std::unique_ptr<ISystem>(const std::filesystem::path& scratch)> Make;
};

// How GoogleTest names a case's backend in its output.
inline void PrintTo(const TBackendCase& backend, std::ostream* out) {
    *out << backend.Name;
}

// Defined once per build: the simulated backend natively, the Win32 one on Windows.
std::vector<TBackendCase> ConformanceBackends();

// A fresh folder below the temporary folder, removed with the object.
class TScratchDir {
public:
    TScratchDir();
    ~TScratchDir();
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

void WriteBytes(const std::filesystem::path& file, const std::string& bytes);

// Makes link a symbolic link to the folder target (on Windows a directory
// symbolic link, else a junction). Empty on success, else why not.
std::string MakeFolderLink(const std::filesystem::path& target, const std::filesystem::path& link);

// True when name has the 8.3 shape: 1-8 characters, optionally "." and 1-3
// more, none of them spaces, lower-case letters or characters 8.3 cannot hold.
bool IsShortShape(const std::string& name);

} // namespace velmora::test
