#include "app/wallpaper/uFrmView.h"

#include "controls/Image.h"
#include "controls/ImgButton.h"
#include "install/uPubFunc.h"
#include "app/wallpaper/uFrmWallpaper.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace velmora {

namespace {

void SetFaces(TImgButton* button, const char* normal, const char* hot) {
    button->SetImgNormal(WallpaperPicture(normal));
    button->SetImgEnter(WallpaperPicture(hot));
    button->SetImgDown(WallpaperPicture(hot));
}

} // namespace

TFrmView::TFrmView(ISystem& system, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      FSystem(system) {
    setObjectName("FrmView");
    setWindowTitle(QString::fromUtf8("图片预览"));
    setWindowState(Qt::WindowMaximized);
    setAttribute(Qt::WA_DeleteOnClose, false);

    ImgMain = new TImage(this);
    ImgMain->setObjectName("ImgMain");
    ImgMain->SetStretch(true);
    ImgMain->OnDblClick = [this](TImage*) { ImgMainDblClick(); };

    ImgButton1 = new TImgButton(this);
    ImgButton1->setObjectName("ImgButton1");
    ImgButton1->setGeometry(8, 8, 49, 45);
    ImgButton1->SetCaption(QString::fromUtf8("设置壁纸"));
    ImgButton1->SetFontColor(Qt::white);
    SetFaces(ImgButton1, "view_wallpaper.png", "view_wallpaper_hot.png");
    ImgButton1->OnClick = [this](TImgControl*) { ImgButton1Click(); };

    btnClose = new TImgButton(this);
    btnClose->setObjectName("btnClose");
    btnClose->setGeometry(63, 8, 28, 45);
    btnClose->SetCaption(QString::fromUtf8("关闭"));
    btnClose->SetFontColor(Qt::white);
    SetFaces(btnClose, "view_close.png", "view_close_hot.png");
    btnClose->OnClick = [this](TImgControl*) { btnCloseClick(); };

    btnScreenWallpaper = new TImgButton(this);
    btnScreenWallpaper->setObjectName("btnScreenWallpaper");
    btnScreenWallpaper->setGeometry(97, 8, 100, 45);
    btnScreenWallpaper->SetCaption(QString::fromUtf8("设为此显示器壁纸"));
    btnScreenWallpaper->SetFontColor(Qt::white);
    SetFaces(btnScreenWallpaper, "view_wallpaper.png", "view_wallpaper_hot.png");
    btnScreenWallpaper->OnClick = [this](TImgControl*) { btnScreenWallpaperClick(); };
    btnScreenWallpaper->hide();

    // Key preview: the window sees keys before its controls.
    for (QWidget* child :
         {static_cast<QWidget*>(ImgMain), static_cast<QWidget*>(ImgButton1),
          static_cast<QWidget*>(btnClose), static_cast<QWidget*>(btnScreenWallpaper)})
        child->installEventFilter(this);
    ImgMain->lower();
}

void TFrmView::LoadPicture(const std::filesystem::path& path) {
    FPicturePath = path;
    ImgMain->Picture().LoadFromFile(path.string());
}

void TFrmView::FormKeyUp(int key) {
    if (key == Qt::Key_Escape)
        close();
}

void TFrmView::ImgMainDblClick() {
    close();
}

void TFrmView::btnCloseClick() {
    close();
}

void TFrmView::ImgButton1Click() {
    FPicturePath.replace_extension(".bmp");
    // A bitmap picture writes a BMP file: the stored file is written again.
    ImgMain->Picture().SaveToFile(FPicturePath.string());
    SetWallpaper(FSystem, FPicturePath);
    ShowMessageBox(MsgWallpaperSet, "提示", mkInformation);
    close();
}

void TFrmView::btnScreenWallpaperClick() {
    FPicturePath.replace_extension(".bmp");
    ImgMain->Picture().SaveToFile(FPicturePath.string());
    if (OnSetScreenWallpaper)
        OnSetScreenWallpaper(FPicturePath, screen());
    close();
}

void TFrmView::showEvent(QShowEvent* event) {
    // One picture for this screen only makes sense beside others.
    btnScreenWallpaper->setVisible(QGuiApplication::screens().size() > 1);
    QDialog::showEvent(event);
}

bool TFrmView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease) {
        keyReleaseEvent(static_cast<QKeyEvent*>(event));
        return event->isAccepted();
    }
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        return true;
    return QDialog::eventFilter(watched, event);
}

void TFrmView::keyPressEvent(QKeyEvent* event) {
    // Escape closes when the key is released, not on the press as a dialog would.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFrmView::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) {
        event->ignore();
        return;
    }
    FormKeyUp(event->key());
    event->accept();
}

void TFrmView::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ImgMain->setGeometry(rect());
}

} // namespace velmora
