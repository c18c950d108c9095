#pragma once
// The change record at the system interface: wraps the system the program
// uses (any backend) and, before each call that changes the desktop goes
// through, writes down the previous state of what that call touches. The
// installers group calls into entries with TChangeScope; a registry or
// desktop call outside any scope is an entry of its own, while file calls
// outside a scope (the program tidying its own folders) are not recorded.
// Restore puts back the state from before
// an entry through the same calls, and is itself recorded.
#include "platform/ISystem.h"
#include "platform/history/ChangeRecord.h"
#include "platform/history/SettingsState.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// Text of the entry a restore writes: "还原到“<text>”之前".
std::string RestoreEntryText(const std::string& restoredText);

class TRecordingSystem : public ISystem {
public:
    // The record's entries, oldest first (a damaged record is set aside:
    // then RecordProblem() says so).
    virtual std::vector<TChangeEntry> History() = 0;
    virtual std::string RecordProblem() = 0;
    // What restoring to before entry id would write back, and what was
    // changed since by someone else. History() must outlive the plan's Entry:
    // entries are passed in.
    virtual TRestorePlan PlanRestore(const std::vector<TChangeEntry>& entries, std::int64_t id) = 0;
    // Puts back the state from before entry id (undoing it and every later
    // entry). False when there is no such entry.
    virtual bool Restore(std::int64_t id) = 0;
    virtual ISystem& Inner() = 0;
};

// settings (may be null) are the desktop settings beyond the inner system.
std::unique_ptr<TRecordingSystem> CreateRecordingSystem(std::unique_ptr<ISystem> inner,
                                                        const std::filesystem::path& recordFolder,
                                                        std::shared_ptr<ISettingsState> settings);

} // namespace velmora
