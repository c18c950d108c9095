// TFrmWallpaper's search side: the search bar, the advertisement pane that
// covers the grid until the first search, and the pagination strip whose link
// clicks fetch the other result pages. Pages are fetched on a worker; while
// one is on its way the service buttons are disabled and the cursor is busy.
#include "app/wallpaper/uFrmWallpaper.h"

#include "controls/ButtonEdit.h"
#include "controls/PaintPanel.h"
#include "wallpaper/uPager.h"
#include "wallpaper/uSearchFetch.h"
#include "wallpaper/uWallpaperSizes.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace velmora {

namespace {

constexpr int SearchBarHeight = 27;
constexpr int PagerHeight = 30;

QLabel* Label(const char* name, const char* text, QPoint at, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(name);
    label->move(at);
    label->adjustSize();
    return label;
}

} // namespace

void TFrmWallpaper::BuildSearchBar() {
    pnlSearch = new QWidget(this);
    pnlSearch->setObjectName("pnlSearch");
    pnlSearch->setGeometry(0, 0, width(), SearchBarHeight);

    Label1 = Label("Label1", "搜索关键字：", {3, 6}, pnlSearch);
    edtKey = new TButtonEdit(pnlSearch);
    edtKey->setObjectName("edtKey");
    edtKey->setGeometry(73, 2, 152, 20);
    edtKey->setText(QString::fromUtf8("风景"));
    edtKey->OnKeyPress = [this](TCustomEditEx*, QChar& key) { edtKeyKeyPress(key); };

    Label2 = Label("Label2", "壁纸规格：", {246, 6}, pnlSearch);
    cbSize = new QComboBox(pnlSearch);
    cbSize->setObjectName("cbSize");
    cbSize->setGeometry(306, 2, 114, 20);
    cbSize->setMaxVisibleItems(18);
    cbSize->clear();
    for (const TWallpaperSize& size : WallpaperSizes)
        cbSize->addItem(QString::fromStdString(size.Name));
    cbSize->setCurrentIndex(0);

    struct TButtonDef {
        QPushButton*& Button;
        const char* Name;
        const char* Caption;
        int Tag;
        int X;
    };
    const TButtonDef buttons[] = {{btnBaiDu, "btnBaiDu", "百度搜索", skBaidu, 443},
                                  {btnYouDao, "btnYouDao", "有道搜索", skYoudao, 530},
                                  {btnSouGou, "btnSouGou", "搜狗搜索", skSogou, 617}};
    for (const TButtonDef& def : buttons) {
        def.Button = new QPushButton(QString::fromUtf8(def.Caption), pnlSearch);
        def.Button->setObjectName(def.Name);
        def.Button->setGeometry(def.X, 0, 81, 25);
        def.Button->setProperty("Tag", def.Tag);
        QPushButton* button = def.Button;
        connect(button, &QPushButton::clicked, this, [this, button] { btnBaiDuClick(button); });
    }
}

void TFrmWallpaper::BuildAdAndPager(const std::string& serverBase) {
    // The advertisement pane covers the grid until the first search.
    pnlAD2 = new TPaintPanel(this);
    pnlAD2->setObjectName("pnlAD2");
    pnlAD2->setGeometry(vstResult->geometry());
    pnlAD2->SetColor(Qt::white);
    pnlAD2->SetBevelStyle(bsSingle);
    pnlAD2->SetBevelColor(QColor(0xA0, 0xA0, 0xA0)); // the button-shadow colour
    pnlAD2->SetBevelWidth(1);
    auto* adLayout = new QVBoxLayout(pnlAD2);
    adLayout->setContentsMargins(1, 1, 1, 1);
    wbMain = FBrowsers->Make(pnlAD2);
    wbMain->setObjectName("wbMain");
    adLayout->addWidget(wbMain);
    pnlAD2->raise();

    // The strip takes the bottom 30 pixels over the whole width.
    pnlPage = new QWidget(this);
    pnlPage->setObjectName("pnlPage");
    pnlPage->setGeometry(0, height() - PagerHeight, width(), PagerHeight);
    auto* pageLayout = new QVBoxLayout(pnlPage);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    wbPageNum = FBrowsers->Make(pnlPage);
    wbPageNum->setObjectName("wbPageNum");
    // Until a search writes the strip it is blank: hidden, the browser engine
    // spends nothing on it.
    wbPageNum->hide();
    pageLayout->addWidget(wbPageNum);
    FBrowsers->SetNavigationHandler(wbPageNum, [this](const QString& url, bool& cancel) {
        wbPageNumBeforeNavigate2(url, cancel);
    });

    FAdUrl = QString::fromStdString(serverBase + "/ad/201081153_2.html");
}

// The advertisement loads when the page is first shown: until then the pane
// holds no document, and the browser engine spends nothing on it.
void TFrmWallpaper::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!FAdUrl.isEmpty()) {
        FBrowsers->Navigate(wbMain, FAdUrl);
        FAdUrl.clear();
    }
}

void TFrmWallpaper::LayOut() {
    // The design: 699 x 340 with the grid at 3, 31, 695 x 270, one pixel
    // right of it and nine between it and the strip.
    const int w = width(), h = height();
    pnlSearch->setGeometry(0, 0, w, SearchBarHeight);
    const int gridHeight = std::max(0, std::min(270, h - PagerHeight - 9 - 31));
    vstResult->setGeometry(3, 31, std::max(0, w - 4), gridHeight);
    pnlAD2->setGeometry(vstResult->geometry());
    pnlPage->setGeometry(0, h - PagerHeight, w, PagerHeight);
    pnlProgress->move((w - pnlProgress->width() + 1) / 2, (h - pnlProgress->height() + 1) / 2);
}

void TFrmWallpaper::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (FBuilt)
        LayOut();
}

bool TFrmWallpaper::Searching() const {
    return FPageSource && FPageSource->Busy();
}

void TFrmWallpaper::OnSearchBusy(bool busy) {
    for (QPushButton* button : {btnBaiDu, btnYouDao, btnSouGou})
        button->setEnabled(!busy);
    if (busy != FBusyCursor) {
        FBusyCursor = busy;
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
}

void TFrmWallpaper::btnBaiDuClick(QPushButton* sender) {
    StartSearch(sender->property("Tag").toInt());
}

void TFrmWallpaper::edtKeyKeyPress(QChar& key) {
    if (key == QChar('\r')) {
        btnBaiDu->click();
        key = QChar(); // handled: no beep, no line break
    }
}

void TFrmWallpaper::StartSearch(int kind) {
    if (!FSearch->StartSearch(kind, edtKey->text().toStdString(), cbSize->currentIndex())) {
        // An empty keyword: the field gets the focus, nothing else changes.
        if (edtKey->isEnabled() && edtKey->isVisible())
            edtKey->setFocus();
    }
}

void TFrmWallpaper::ClearPager() {
    wbPageNum->show();
    FBrowsers->ShowHtml(wbPageNum, QString::fromStdString(WrapPage("")));
}

void TFrmWallpaper::ShowPager(const std::string& fragment) {
    wbPageNum->show();
    FBrowsers->ShowHtml(wbPageNum, QString::fromStdString(PagerPage(fragment)));
}

void TFrmWallpaper::BuildBaiduPager(std::int32_t current) {
    FSearch->BuildBaiduPager(current);
}

void TFrmWallpaper::wbPageNumBeforeNavigate2(const QString& url, bool& cancel) {
    cancel = FSearch->NavigatePager(url.toStdString());
}

} // namespace velmora
