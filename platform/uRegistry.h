#pragma once
// A registry helper over ISystem with the program's error texts: a write
// without an opened key, or one the system refuses, raises ERegistryException
// "Failed to set data for '<name>'".
#include "platform/ISystem.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace velmora {

class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TRegistry {
public:
    explicit TRegistry(ISystem& system) : FSystem(system) {}
    // Opens a key of HKEY_CURRENT_USER with full access (closing the previous
    // one); false when it cannot be opened.
    bool OpenKey(const std::string& subKey, bool canCreate);
    void CloseKey();
    // Throws ERegistryException when no key is open or the write fails.
    void WriteString(const std::string& name, const std::string& value);
    // Empty when the value or the key is missing.
    std::string ReadString(const std::string& name) const;
    bool DeleteValue(const std::string& name);

private:
    ISystem& FSystem;
    std::unique_ptr<IRegKey> FKey;
};

} // namespace velmora
