#include "app/uFolderPicker.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>

namespace velmora {

namespace fs = std::filesystem;

std::optional<fs::path> ShowFolderDialog(const TFolderPickRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.Text));
    dialog.setObjectName(FolderDialogName);
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!request.Initial.empty()) {
        // Shown inside its parent and selected, as the shell's picker does.
        dialog.setDirectory(QString::fromStdString(request.Initial.parent_path().string()));
        dialog.selectFile(QString::fromStdString(request.Initial.filename().string()));
    } else if (!request.Root.empty()) {
        dialog.setDirectory(QString::fromStdString(request.Root.string()));
    } else {
        dialog.setDirectory(QDir::homePath());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return fs::path(dialog.selectedFiles().front().toStdString());
}

void InstallFolderPicker(ISystem& system) {
    if (auto* simulated = dynamic_cast<TSimulatedSystem*>(&system))
        simulated->SetFolderPicker(&ShowFolderDialog);
}

} // namespace velmora
