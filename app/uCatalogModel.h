#pragma once
// The item model of one catalogue list. Every row owns its TCatalogItem; rows
// are only ever added, so a row's handle (TCatalogRow) stays valid for the
// whole run and download workers keep that handle, never a model index.
#include "catalog/uCatalog.h"
#include "catalog/uDownThread.h"

#include <QAbstractItemModel>

#include <deque>
#include <vector>

namespace velmora {

class TCatalogModel : public QAbstractItemModel, public ICatalogRows {
    Q_OBJECT
public:
    enum TColumn { colName = 0, colStatus = 1, ColumnCount = 2 };
    // The status image of a cell (index into the list's image list, -1 none).
    static constexpr int ImageIndexRole = Qt::UserRole + 1;
    // True for a group row of the theme list.
    static constexpr int GroupRole = Qt::UserRole + 2;

    // tag: the list's category; folders decides whether a package is cached.
    TCatalogModel(int tag, const QString& nameHeader, const TFolderFields& folders,
                  QObject* parent = nullptr);

    int Tag() const { return FTag; }

    TCatalogRow AddRow(TCatalogRow parent, const TCatalogItem& item);
    // Adds the items of `count` records under one parent in one insertion,
    // taking them over; handles[i] gets the row of records[i].
    void AddRows(TCatalogRow parent, TCatalogRecord* records, std::size_t count,
                 TCatalogRow* handles);
    TCatalogItem* Item(TCatalogRow row) override;
    void RepaintRow(TCatalogRow row) override;

    bool IsGroup(TCatalogRow row) const;
    TCatalogRow RowOf(const QModelIndex& index) const;
    QModelIndex IndexOf(TCatalogRow row, int column = 0) const;
    std::size_t RowCount() const { return FNodes.size(); } // every row, all levels

    void SetNameHeader(const QString& text);

    // The texts and images of a cell, as the row's record holds them: reading
    // them changes nothing and asks nothing of the disk.
    QString GetText(TCatalogRow row, int column) const;
    int GetImageIndex(TCatalogRow row, int column) const;

    // A downloaded package deleted behind the program's back: the row turns
    // back to dsNone (and is repainted) so that it can be downloaded again.
    // Returns whether the row changed.
    bool RecheckPackage(TCatalogRow row);
    // Marks every item installed or not as the disk has it now (after the
    // desktop was restored to an earlier state).
    void RecheckInstalled();

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct TNode {
        TCatalogItem Item;
        TCatalogRow Parent = NoRow;
        int Row = 0; // position under its parent
        std::vector<TCatalogRow> Children;
    };
    bool Valid(TCatalogRow row) const { return row >= 0 && std::size_t(row) < FNodes.size(); }

    const int FTag;
    QString FNameHeader;
    const TFolderFields& FFolders;
    std::deque<TNode> FNodes;
    std::vector<TCatalogRow> FTop;
};

} // namespace velmora
