// TFrmMain's folder-icon page: the folder field with its picker button, the
// set and restore buttons, the icon categories and the icons of the focused
// one. The work is done by the core (install/uFolderIcon).
#include "app/uApplication.h"
#include "app/uFrmMain.h"
#include "app/uWindowParts.h"
#include "controls/ButtonEdit.h"
#include "controls/PaintPanel.h"
#include "install/uFolderIcon.h"
#include "install/uPubFunc.h"

#include <QAbstractListModel>
#include <QHeaderView>
#include <QImageReader>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include <stdexcept>

namespace velmora {

namespace fs = std::filesystem;

// The rows of vstDirs: one TCatalogItem per category, its Name the folder name.
class TIconCategoryModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void SetNames(const std::vector<std::string>& names) {
        beginResetModel();
        FItems.clear();
        for (const std::string& name : names) {
            TCatalogItem item;
            item.Name = name;
            FItems.push_back(item);
        }
        endResetModel();
    }
    const TCatalogItem* Item(int row) const {
        return row >= 0 && std::size_t(row) < FItems.size() ? &FItems[std::size_t(row)] : nullptr;
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(FItems.size());
    }
    // vstDirsGetText: the row's text is its Name.
    QVariant data(const QModelIndex& index, int role) const override {
        const TCatalogItem* item = Item(index.row());
        if (!item || role != Qt::DisplayRole)
            return {};
        return QString::fromStdString(item->Name);
    }

private:
    std::vector<TCatalogItem> FItems;
};

namespace {

constexpr int IconSize = 32;
constexpr int CategoryWidth = 185;
constexpr int SplitterWidth = 8;
// The page's size inside the page control.
constexpr int PageWidth = 702;
constexpr int PageHeight = 336;

// The folder-field button: a small open folder, in the four states normal,
// hot, pushed and disabled side by side.
QImage BrowseButtonImage() {
    constexpr int w = 20, h = 18;
    QImage image(w * 4, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fills[4] = {QColor(240, 196, 80), QColor(250, 214, 110), QColor(214, 168, 60),
                             QColor(200, 200, 200)};
    for (int state = 0; state < 4; ++state) {
        p.save();
        p.translate(state * w, state == 2 ? 1 : 0);
        if (state == 1 || state == 2) {
            p.setPen(QColor(110, 170, 220));
            p.setBrush(state == 1 ? QColor(229, 241, 251) : QColor(204, 228, 247));
            p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 2), 2, 2);
        }
        p.setPen(fills[state].darker(150));
        p.setBrush(fills[state].darker(110));
        p.drawRoundedRect(QRectF(4.5, 4.5, 11, 9), 1, 1);
        p.setBrush(fills[state]);
        p.drawPolygon(QPolygonF(
            {QPointF(4.5, 13.5), QPointF(6.5, 7.5), QPointF(17.5, 7.5), QPointF(15.5, 13.5)}));
        p.restore();
    }
    return image;
}

// An icon of the library as the image list keeps it: the 32-pixel picture
// (or the one nearest to it) drawn on white.
QImage LoadIconImage(const fs::path& file) {
    QImageReader reader(QString::fromStdString(file.string()), "ico");
    QImage best;
    for (int i = 0; i < std::max(1, reader.imageCount()); ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        if (image.size() == QSize(IconSize, IconSize)) {
            best = image;
            break;
        }
        if (best.isNull() || std::abs(image.width() - IconSize) < std::abs(best.width() - IconSize))
            best = image;
    }
    if (best.isNull())
        throw EInvalidGraphic("Icon image is not valid");
    QImage onWhite(IconSize, IconSize, QImage::Format_RGB32);
    onWhite.fill(Qt::white);
    QPainter p(&onWhite);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(0, 0, IconSize, IconSize), best);
    return onWhite;
}

// A framed list under a title bar.
TPaintPanel* TitledFrame(QWidget* parent, const QString& title, QWidget*& content, QWidget* list) {
    TPaintPanel* frame = FramePanel(parent, QRect());
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    TPaintPanel* bar = TitleBar(frame, QRect(), title, "title_list.png", hstAll);
    bar->setFixedHeight(22);
    layout->addWidget(bar);
    list->setParent(frame);
    layout->addWidget(list);
    content = list;
    return frame;
}

} // namespace

void TFrmMain::BuildIconPage(QWidget* page) {
    Label1 = new QLabel(QString::fromUtf8("指定文件夹："), page);
    Label1->setObjectName("Label1");
    Label1->setGeometry(0, 4, 72, 14);

    edtDir = new TButtonEdit(page);
    edtDir->setObjectName("edtDir");
    edtDir->setGeometry(72, 0, 398, 22);
    edtDir->RightButton().SetImage(BrowseButtonImage());
    edtDir->RightButton().SetVisible(true);
    edtDir->SetOnRightButtonClick([this](QObject*) { edtDirRightButtonClick(); });

    btnSetIcon = new QPushButton(QString::fromUtf8("设置图标"), page);
    btnSetIcon->setObjectName("btnSetIcon");
    btnSetIcon->setGeometry(480, 0, 96, 23);
    connect(btnSetIcon, &QPushButton::clicked, this, &TFrmMain::btnSetIconClick);
    btnRestoreIcon = new QPushButton(QString::fromUtf8("恢复默认图标"), page);
    btnRestoreIcon->setObjectName("btnRestoreIcon");
    btnRestoreIcon->setGeometry(586, 0, 116, 23);
    connect(btnRestoreIcon, &QPushButton::clicked, this, &TFrmMain::btnRestoreIconClick);

    auto* splitter = new QSplitter(Qt::Horizontal, page);
    splitter->setObjectName("splIcons");
    splitter->setGeometry(0, 30, PageWidth, PageHeight - 30);
    splitter->setHandleWidth(SplitterWidth);
    splitter->setChildrenCollapsible(false);

    FIconCategories = new TIconCategoryModel(this);
    auto* dirs = new QTreeView;
    dirs->setObjectName("vstDirs");
    dirs->setModel(FIconCategories);
    dirs->setHeaderHidden(true);
    dirs->setRootIsDecorated(false);
    dirs->setUniformRowHeights(true);
    dirs->setSelectionBehavior(QAbstractItemView::SelectRows);
    dirs->setSelectionMode(QAbstractItemView::SingleSelection);
    dirs->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dirs->setFrameShape(QFrame::NoFrame);
    QWidget* content = nullptr;
    TPaintPanel* left = TitledFrame(splitter, QString::fromUtf8(" 图标分类列表"), content, dirs);
    left->setObjectName("pnlDirs");
    vstDirs = dirs;
    connect(vstDirs->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TFrmMain::vstDirsFocusChanged);

    auto* icons = new QListWidget;
    icons->setObjectName("lvIcons");
    icons->setViewMode(QListView::IconMode);
    icons->setIconSize(QSize(IconSize, IconSize));
    icons->setResizeMode(QListView::Adjust); // arranged automatically
    icons->setMovement(QListView::Static);
    icons->setGridSize(QSize(86, 64));
    icons->setWordWrap(true);
    icons->setSelectionMode(QAbstractItemView::SingleSelection);
    icons->setFrameShape(QFrame::NoFrame);
    TPaintPanel* right = TitledFrame(
        splitter, QString::fromUtf8(" 图标预览 (选择图标后，点击上面的“设置图标”按钮即可)"),
        content, icons);
    right->setObjectName("pnlIcons");
    lvIcons = icons;

    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({CategoryWidth, PageWidth - CategoryWidth - SplitterWidth});
}

void TFrmMain::LoadIconCategories() {
    FIconCategories->SetNames(velmora::LoadIconCategoryNames(*FSystem, FFolders.ExePath));
    // Selecting and focusing the first row shows its icons.
    if (FIconCategories->rowCount() > 0)
        vstDirs->setCurrentIndex(FIconCategories->index(0));
}

void TFrmMain::FillIconList(int row) {
    const TCatalogItem* item = FIconCategories->Item(row);
    if (!item)
        return;
    ilIcons.clear();
    lvIcons->clear();
    for (const std::string& name : ListCategoryIcons(FFolders.ExePath, item->Name)) {
        // A file that is no icon ends the listing with its error; those before it stay.
        ilIcons.push_back(LoadIconImage(IconLibraryFile(FFolders.ExePath, item->Name, name)));
        auto* entry = new QListWidgetItem(QIcon(QPixmap::fromImage(ilIcons.back())),
                                          QString::fromStdString(name), lvIcons);
        entry->setData(Qt::UserRole, int(ilIcons.size() - 1));
    }
}

void TFrmMain::vstDirsFocusChanged() {
    try {
        FillIconList(vstDirs->currentIndex().isValid() ? vstDirs->currentIndex().row() : -1);
    } catch (const std::exception& error) {
        ShowUnhandledError(error.what());
    }
}

void TFrmMain::edtDirRightButtonClick() {
    BrowseInitialFolder = Trim(edtDir->text().toStdString());
    std::string folder;
    if (BrowseForFolder(*FSystem, BrowseFolderText, {}, folder, OwnerWindow()))
        edtDir->setText(QString::fromStdString(folder));
}

void TFrmMain::btnSetIconClick() {
    std::optional<std::string> category, icon;
    if (const TCatalogItem* item = FIconCategories->Item(
            vstDirs->currentIndex().isValid() ? vstDirs->currentIndex().row() : -1))
        category = item->Name;
    if (const auto selected = lvIcons->selectedItems(); !selected.isEmpty())
        icon = selected.front()->text().toStdString();
    TFolderIconResult result;
    try {
        result =
            SetFolderIcon(*FSystem, edtDir->text().toStdString(), FFolders.ExePath, category, icon);
    } catch (const std::exception& error) {
        ShowUnhandledError(error.what());
        return;
    }
    if (result == TFolderIconResult::FolderMissing && edtDir->isVisible() && edtDir->isEnabled())
        edtDir->setFocus();
}

void TFrmMain::btnRestoreIconClick() {
    if (RestoreFolderIcon(*FSystem, edtDir->text().toStdString()) ==
            TFolderIconResult::FolderMissing &&
        edtDir->isVisible() && edtDir->isEnabled())
        edtDir->setFocus();
}

} // namespace velmora
