#include "app/uFrmRestoreChanges.h"

#include "install/uPubFunc.h"
#include "platform/history/RecordingSystem.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

namespace {

constexpr int EntryIdRole = Qt::UserRole + 1;

QString EntryLine(const TChangeEntry& entry) {
    const QString when =
        QDateTime::fromSecsSinceEpoch(entry.Time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QString line = when + QStringLiteral("    ") + QString::fromStdString(entry.Text);
    // Cut off by the end of the program: what it recorded is still restored.
    if (!entry.Finished)
        line += QString::fromUtf8("（未完成）");
    return line;
}

} // namespace

TFrmRestoreChanges::TFrmRestoreChanges(TRecordingSystem& history, QWidget* parent)
    : QDialog(parent), FHistory(history) {
    setObjectName("FrmRestoreChanges");
    setWindowTitle(QString::fromUtf8("还原桌面更改"));
    resize(520, 360);
    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(
        QString::fromUtf8(
            "选择一项更改，桌面将还原到这项更改之前的样子（这项及之后的更改都会被撤销）："),
        this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    lvChanges = new QListWidget(this);
    lvChanges->setObjectName("lvChanges");
    layout->addWidget(lvChanges, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnRestore = new QPushButton(QString::fromUtf8("还原(&R)"), this);
    btnRestore->setObjectName("btnRestore");
    auto* close = new QPushButton(QString::fromUtf8("关闭"), this);
    close->setObjectName("btnClose");
    buttons->addWidget(btnRestore);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnRestore, &QPushButton::clicked, this, [this] {
        if (btnRestoreClick())
            accept();
    });
    connect(lvChanges, &QListWidget::itemDoubleClicked, this, [this] {
        if (btnRestoreClick())
            accept();
    });
    connect(lvChanges, &QListWidget::currentRowChanged, this,
            [this](int row) { btnRestore->setEnabled(row >= 0); });
    Fill();
}

void TFrmRestoreChanges::Fill() {
    lvChanges->clear();
    const std::vector<TChangeEntry> entries = FHistory.History();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        auto* item = new QListWidgetItem(EntryLine(*it), lvChanges);
        item->setData(EntryIdRole, QVariant::fromValue<qlonglong>(it->Id));
    }
    if (entries.empty())
        lvChanges->addItem(QString::fromUtf8("（还没有记录任何更改）"));
    lvChanges->setEnabled(!entries.empty());
    btnRestore->setEnabled(false);
}

std::int64_t TFrmRestoreChanges::EntryOfRow(int row) const {
    const QListWidgetItem* item = lvChanges->item(row);
    return item ? item->data(EntryIdRole).toLongLong() : 0;
}

bool TFrmRestoreChanges::btnRestoreClick() {
    const std::int64_t id = EntryOfRow(lvChanges->currentRow());
    if (id == 0)
        return false;
    const std::vector<TChangeEntry> entries = FHistory.History();
    const TRestorePlan plan = FHistory.PlanRestore(entries, id);
    if (!plan.Entry) {
        Fill();
        return false;
    }
    if (!plan.Conflicts.empty()) {
        std::string text = "以下内容在这项更改之后被其他程序改过，还原会覆盖它们：\n";
        for (const TRestoreConflict& c : plan.Conflicts)
            text += "  " + c.Description + "\n";
        text += "仍然还原吗？";
        if (ShowMessageBox(text, "", mkQuestion) != IDYES)
            return false;
    }
    FHistory.Restore(id);
    ShowMessageBox("桌面已还原到“" + plan.Entry->Text + "”之前。", "", mkInformation);
    return true;
}

} // namespace velmora
