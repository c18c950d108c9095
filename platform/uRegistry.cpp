#include "platform/uRegistry.h"

namespace velmora {

bool TRegistry::OpenKey(const std::string& subKey, bool canCreate) {
    CloseKey();
    FKey = FSystem.OpenCurrentUserKey(subKey, canCreate);
    return FKey != nullptr;
}

void TRegistry::CloseKey() {
    if (FKey)
        FKey->Close();
    FKey.reset();
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    if (!FKey || !FKey->WriteString(name, value))
        throw ERegistryException("Failed to set data for '" + name + "'");
}

std::string TRegistry::ReadString(const std::string& name) const {
    if (!FKey)
        return {};
    return FKey->ReadString(name).value_or("");
}

bool TRegistry::DeleteValue(const std::string& name) {
    return FKey && FKey->DeleteValue(name);
}

} // namespace velmora
