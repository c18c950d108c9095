#include "app/uCatalogTree.h"

#include "app/uWindowParts.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

namespace velmora {

namespace {

// The narrowest a column can be dragged to (about three characters).
constexpr int MinColumnWidth = 40;

// The header is as high as a row and its sections are as wide as they are
// set; it does not measure its captions. (Qt would measure them in bold, and
// load a bold face of the font for it before the window's first paint.)
class TFixedHeader : public QHeaderView {
public:
    using QHeaderView::QHeaderView;

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override {
        return QSize(sectionSize(logicalIndex), TCatalogTree::RowHeight);
    }
};

} // namespace

QColor WindowsColor(unsigned value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

TCatalogDelegate::TCatalogDelegate(const TImageList& images, bool ownPaint, QObject* parent)
    : QStyledItemDelegate(parent), FImages(images), FOwnPaint(ownPaint) {}

QSize TCatalogDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), TCatalogTree::RowHeight);
}

void TCatalogDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    opt.state &= ~QStyle::State_HasFocus; // no focus rectangle
    const bool selected = opt.state & QStyle::State_Selected;
    painter->save();
    if (!FOwnPaint) {
        // The list's own highlight, without text or icon.
        opt.text.clear();
        opt.icon = QIcon();
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    }
    QRect r = option.rect;
    const int image = index.data(TCatalogModel::ImageIndexRole).toInt();
    if (image >= 0 && std::size_t(image) < FImages.size()) {
        painter->drawImage(QPoint(r.left() + 2, r.top() + (r.height() - 16) / 2), FImages[image]);
        r.setLeft(r.left() + 2 + 16 + 4);
    } else {
        r.setLeft(r.left() + 4);
    }
    painter->setFont(option.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QString text = index.data(Qt::DisplayRole).toString();
    painter->drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      option.fontMetrics.elidedText(text, Qt::ElideRight, r.width()));
    painter->restore();
}

TCatalogTree::TCatalogTree(TCatalogModel* model, const TImageList& images, bool ownPaint,
                           QWidget* parent)
    : QTreeView(parent), FModel(model), FImages(images),
      FDelegate(new TCatalogDelegate(images, ownPaint, this)), FOwnPaint(ownPaint) {
    setHeader(new TFixedHeader(Qt::Horizontal, this));
    setModel(model);
    setItemDelegate(FDelegate);
    setFrameShape(QFrame::NoFrame);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setRootIsDecorated(false);
    setItemsExpandable(true);
    setExpandsOnDoubleClick(true);
    setMouseTracking(true);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    header()->setFixedHeight(RowHeight);
    header()->setSectionsMovable(true);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setStretchLastSection(false);
    header()->setFont(InterfaceFont(QStringLiteral("Tahoma"), 11));
    // Set rather than measured from the font, which would load the font
    // before the first paint needs it.
    header()->setMinimumSectionSize(MinColumnWidth);
    header()->resizeSection(TCatalogModel::colName, 180);
    header()->resizeSection(TCatalogModel::colStatus, 80);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { emit FocusChanged(this); });
    // Rows of a finished download repaint through the model; the hot row
    // needs no more than that either.
}

TCatalogRow TCatalogTree::FocusedRow() const {
    return FModel->RowOf(currentIndex());
}

void TCatalogTree::SetHot(const QModelIndex& index) {
    const QModelIndex row = index.isValid() ? index.siblingAtColumn(0) : QModelIndex();
    if (row == FHot)
        return;
    FHot = row;
    if (FOwnPaint)
        viewport()->update();
}

void TCatalogTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    if (!FOwnPaint) {
        QTreeView::drawRow(painter, option, index);
        return;
    }
    const QModelIndex first = index.siblingAtColumn(0);
    const QRect rowRect(0, option.rect.top(), viewport()->width(), option.rect.height());
    const bool selected = selectionModel()->isSelected(first);
    const bool hot = first == QModelIndex(FHot);

    // The row background: the list colour, the selection, or the hot row.
    painter->save();
    const QColor background = palette().color(QPalette::Base);
    painter->fillRect(rowRect, background);
    QColor fill;
    if (selected)
        fill = palette().color(QPalette::Highlight);
    else if (hot)
        fill = WindowsColor(HotRowColor);
    if (fill.isValid()) {
        painter->setPen(fill);
        painter->setBrush(fill);
        painter->drawRect(rowRect.adjusted(0, 0, -1, -1));
    }
    painter->restore();

    if (FModel->IsGroup(FModel->RowOf(first))) {
        PaintGroupRow(painter, rowRect, first);
        return;
    }

    // The cells, through the delegate, without the view's own highlight.
    const int level = FModel->parent(first).isValid() ? 1 : 0;
    for (int column = 0; column < FModel->columnCount(); ++column) {
        if (header()->isSectionHidden(column))
            continue;
        QStyleOptionViewItem cell(option);
        int x = header()->sectionViewportPosition(column);
        int width = header()->sectionSize(column);
        if (header()->logicalIndex(0) == column) {
            x += level * indentation();
            width -= level * indentation();
        }
        cell.rect = QRect(x, option.rect.top(), width, option.rect.height());
        cell.state = selected ? (cell.state | QStyle::State_Selected)
                              : (cell.state & ~QStyle::State_Selected);
        itemDelegateForIndex(first.siblingAtColumn(column))
            ->paint(painter, cell, first.siblingAtColumn(column));
    }
}

void TCatalogTree::PaintGroupRow(QPainter* painter, const QRect& rect,
                                 const QModelIndex& index) const {
    painter->save();
    painter->setPen(Qt::white);
    painter->setBrush(Qt::white);
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->fillRect(rect.adjusted(2, 1, -2, -1), Qt::white);
    const int image = isExpanded(index) ? 6 : 7;
    if (std::size_t(image) < FImages.size())
        painter->drawImage(QPoint(rect.left() + 10, rect.top() + 1), FImages[image]);
    QRect text = rect.adjusted(30, 0, 0, 0);
    const QFont bold = EmboldenedFont(font());
    painter->setFont(bold);
    painter->setPen(palette().color(QPalette::Text));
    const QString title = FModel->GetText(FModel->RowOf(index), TCatalogModel::colName);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      QFontMetrics(bold).elidedText(title, Qt::ElideRight, text.width()));
    painter->restore();
}

void TCatalogTree::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // A right click selects and focuses the row under the mouse.
        const QModelIndex at = indexAt(event->position().toPoint());
        if (at.isValid())
            setCurrentIndex(at.siblingAtColumn(0));
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void TCatalogTree::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    if (!FOwnPaint)
        return;
    // A single click on a group row opens or closes it.
    const QModelIndex at = indexAt(event->position().toPoint()).siblingAtColumn(0);
    const QModelIndex focused = currentIndex().siblingAtColumn(0);
    if (at.isValid() && at == focused && FModel->IsGroup(FModel->RowOf(focused)))
        setExpanded(focused, !isExpanded(focused));
}

void TCatalogTree::mouseDoubleClickEvent(QMouseEvent* event) {
    // The view toggles a row with children itself; the handler sees every
    // double-click on a row.
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        emit DblClick(this);
}

void TCatalogTree::mouseMoveEvent(QMouseEvent* event) {
    SetHot(indexAt(event->position().toPoint()));
    QTreeView::mouseMoveEvent(event);
}

void TCatalogTree::leaveEvent(QEvent* event) {
    SetHot(QModelIndex());
    QTreeView::leaveEvent(event);
}

void TCatalogTree::contextMenuEvent(QContextMenuEvent* event) {
    QPoint at = event->globalPos();
    // From the keyboard's menu key the menu opens at the focused row, not
    // wherever the mouse happens to be.
    if (event->reason() == QContextMenuEvent::Keyboard) {
        const QRect rect = visualRect(currentIndex().siblingAtColumn(0));
        if (rect.isValid())
            at = viewport()->mapToGlobal(rect.bottomLeft());
    }
    emit ContextPopup(this, at);
    event->accept();
}

} // namespace velmora
