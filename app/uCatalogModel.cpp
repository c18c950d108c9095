#include "app/uCatalogModel.h"

#include "app/uWindowParts.h"

#include <QFont>

#include <filesystem>

namespace velmora {

TCatalogModel::TCatalogModel(int tag, const QString& nameHeader, const TFolderFields& folders,
                             QObject* parent)
    : QAbstractItemModel(parent), FTag(tag), FNameHeader(nameHeader), FFolders(folders) {}

TCatalogRow TCatalogModel::AddRow(TCatalogRow parent, const TCatalogItem& item) {
    TCatalogRecord record{.Item = item};
    TCatalogRow row = NoRow;
    AddRows(parent, &record, 1, &row);
    return row;
}

void TCatalogModel::AddRows(TCatalogRow parent, TCatalogRecord* records, std::size_t count,
                            TCatalogRow* handles) {
    if (count == 0)
        return;
    if (parent != NoRow && !Valid(parent))
        parent = NoRow;
    std::vector<TCatalogRow>& siblings = parent == NoRow ? FTop : FNodes[parent].Children;
    const int position = static_cast<int>(siblings.size());
    beginInsertRows(parent == NoRow ? QModelIndex() : IndexOf(parent), position,
                    position + static_cast<int>(count) - 1);
    for (std::size_t i = 0; i < count; ++i) {
        const TCatalogRow row = static_cast<TCatalogRow>(FNodes.size());
        FNodes.push_back(
            TNode{std::move(records[i].Item), parent, position + static_cast<int>(i), {}});
        siblings.push_back(row);
        handles[i] = row;
    }
    endInsertRows();
}

TCatalogItem* TCatalogModel::Item(TCatalogRow row) {
    return Valid(row) ? &FNodes[row].Item : nullptr;
}

void TCatalogModel::RepaintRow(TCatalogRow row) {
    if (!Valid(row))
        return;
    emit dataChanged(IndexOf(row, colName), IndexOf(row, colStatus));
}

bool TCatalogModel::IsGroup(TCatalogRow row) const {
    return FTag == tagTheme && Valid(row) && FNodes[row].Parent == NoRow;
}

TCatalogRow TCatalogModel::RowOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this)
        return NoRow;
    return static_cast<TCatalogRow>(index.internalId());
}

QModelIndex TCatalogModel::IndexOf(TCatalogRow row, int column) const {
    if (!Valid(row))
        return {};
    return createIndex(FNodes[row].Row, column, static_cast<quintptr>(row));
}

void TCatalogModel::SetNameHeader(const QString& text) {
    FNameHeader = text;
    emit headerDataChanged(Qt::Horizontal, colName, colName);
}

bool TCatalogModel::RecheckPackage(TCatalogRow row) {
    if (!Valid(row) || IsGroup(row))
        return false;
    TCatalogItem& item = FNodes[row].Item;
    if (item.State != dsDone)
        return false;
    std::error_code ec;
    if (std::filesystem::is_regular_file(PackageFile(FFolders, FTag, item), ec))
        return false;
    item.State = dsNone;
    RepaintRow(row);
    return true;
}

void TCatalogModel::RecheckInstalled() {
    for (std::size_t row = 0; row < FNodes.size(); ++row) {
        const TCatalogRow r = static_cast<TCatalogRow>(row);
        if (IsGroup(r))
            continue;
        TCatalogItem& item = FNodes[row].Item;
        const bool installed = IsItemInstalled(FFolders, FTag, item);
        if (installed != item.Installed) {
            item.Installed = installed;
            RepaintRow(r);
        }
    }
}

QString TCatalogModel::GetText(TCatalogRow row, int column) const {
    if (!Valid(row))
        return {};
    const TCatalogItem& item = FNodes[row].Item;
    if (column == colName)
        return QString::fromStdString(item.Name);
    if (column != colStatus || IsGroup(row))
        return {};
    switch (item.State) {
    case dsDownloading:
        return QString::fromUtf8("进度:%1%").arg(item.Progress, 2);
    case dsDone:
        return QString::fromUtf8("下载成功");
    case dsFailed:
        return QString::fromUtf8("下载失败");
    default:
        return {};
    }
}

int TCatalogModel::GetImageIndex(TCatalogRow row, int column) const {
    if (!Valid(row) || IsGroup(row))
        return -1;
    if (column == colName)
        return FNodes[row].Item.Installed ? 2 : 1;
    if (column != colStatus)
        return -1;
    switch (FNodes[row].Item.State) {
    case dsDownloading:
        return 3;
    case dsDone:
        return 4;
    case dsFailed:
        return 5;
    default:
        return -1;
    }
}

QModelIndex TCatalogModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= ColumnCount)
        return {};
    const std::vector<TCatalogRow>* siblings = &FTop;
    if (parent.isValid()) {
        if (parent.column() != 0)
            return {};
        const TCatalogRow p = RowOf(parent);
        if (!Valid(p))
            return {};
        siblings = &FNodes[p].Children;
    }
    if (std::size_t(row) >= siblings->size())
        return {};
    return createIndex(row, column, static_cast<quintptr>((*siblings)[row]));
}

QModelIndex TCatalogModel::parent(const QModelIndex& child) const {
    const TCatalogRow row = RowOf(child);
    if (!Valid(row) || FNodes[row].Parent == NoRow)
        return {};
    return IndexOf(FNodes[row].Parent);
}

int TCatalogModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return static_cast<int>(FTop.size());
    if (parent.column() != 0)
        return 0;
    const TCatalogRow row = RowOf(parent);
    return Valid(row) ? static_cast<int>(FNodes[row].Children.size()) : 0;
}

int TCatalogModel::columnCount(const QModelIndex&) const {
    return ColumnCount;
}

QVariant TCatalogModel::data(const QModelIndex& index, int role) const {
    const TCatalogRow row = RowOf(index);
    if (!Valid(row))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return GetText(row, index.column());
    case ImageIndexRole:
        return GetImageIndex(row, index.column());
    case GroupRole:
        return IsGroup(row);
    case Qt::FontRole:
        if (IsGroup(row))
            return EmboldenedFont(QFont());
        return {};
    default:
        return {};
    }
}

QVariant TCatalogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == colName)
        return FNameHeader;
    if (section == colStatus)
        return QString::fromUtf8("状态");
    return {};
}

Qt::ItemFlags TCatalogModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace velmora
