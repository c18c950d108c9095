#pragma once
// The tree list of a catalogue page: rows 22 pixels high, a status image
// before the text of each cell, whole-row selection without a focus frame, a
// right click that focuses the row under the mouse, and, for the theme list,
// its own painting of the row background and the group rows.
#include "app/uCatalogModel.h"

#include <QImage>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <vector>

namespace velmora {

// The 16 x 16 status images by index (ilTheme).
using TImageList = std::vector<QImage>;

// The hot-row colour of the theme list (a Windows colour value, blue high).
constexpr unsigned HotRowColor = 0xFCF7EF;
QColor WindowsColor(unsigned value);

class TCatalogDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TCatalogDelegate(const TImageList& images, bool ownPaint, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const TImageList& FImages;
    bool FOwnPaint;
};

class TCatalogTree : public QTreeView {
    Q_OBJECT
public:
    static constexpr int RowHeight = 22;

    // ownPaint: the theme list's own row painting (groups, hot row, selection).
    TCatalogTree(TCatalogModel* model, const TImageList& images, bool ownPaint,
                 QWidget* parent = nullptr);

    TCatalogModel* Model() const { return FModel; }
    int Tag() const { return FModel->Tag(); }
    // The focused row, or NoRow.
    TCatalogRow FocusedRow() const;
    TCatalogRow HotRow() const { return FModel->RowOf(FHot); }

signals:
    void FocusChanged(TCatalogTree* sender);
    void DblClick(TCatalogTree* sender);
    void ContextPopup(TCatalogTree* sender, const QPoint& globalPos);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void SetHot(const QModelIndex& index);
    void PaintGroupRow(QPainter* painter, const QRect& rect, const QModelIndex& index) const;

    TCatalogModel* FModel;
    const TImageList& FImages;
    TCatalogDelegate* FDelegate;
    bool FOwnPaint;
    QPersistentModelIndex FHot;
};

} // namespace velmora
