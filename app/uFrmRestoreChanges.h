#pragma once
// The "还原桌面更改…" window: the entries of the change record, newest first;
// choosing one puts the desktop back as it was before it (undoing it and
// every later entry). What someone else changed since is said first, and the
// person decides.
#include <QDialog>

#include <cstdint>

class QListWidget;
class QPushButton;

namespace velmora {

class TRecordingSystem;

class TFrmRestoreChanges : public QDialog {
    Q_OBJECT
public:
    TFrmRestoreChanges(TRecordingSystem& history, QWidget* parent = nullptr);

    // The entry of a row of lvChanges (row 0 is the newest).
    std::int64_t EntryOfRow(int row) const;
    // Restores to before the selected entry, asking first where needed;
    // true when the desktop was restored.
    bool btnRestoreClick();

private:
    void Fill();

    TRecordingSystem& FHistory;
    QListWidget* lvChanges = nullptr;
    QPushButton* btnRestore = nullptr;
};

} // namespace velmora
