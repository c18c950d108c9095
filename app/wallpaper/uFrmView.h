#pragma once
// TFrmView: the full-screen picture viewer of the wallpaper search. Borderless,
// maximised and on top; it sees every key before its controls. "设置壁纸"
// makes the shown file the wallpaper, Escape, a double-click and "关闭" close it.
#include "controls/Imaging.h"

#include <QDialog>

#include <filesystem>
#include <functional>
#include <string>

class QScreen;

namespace velmora {

class ISystem;
class TImage;
class TImgButton;

class TFrmView : public QDialog {
    Q_OBJECT
public:
    TFrmView(ISystem& system, QWidget* parent = nullptr);

    // Loads the stored picture into ImgMain (by its extension); throws when it
    // cannot be loaded.
    void LoadPicture(const std::filesystem::path& path);
    const std::filesystem::path& PicturePath() const { return FPicturePath; }

    TImage* ImgMain;
    TImgButton* ImgButton1;
    TImgButton* btnClose;
    // "设为此显示器壁纸": shown when the desktop has more than one screen.
    TImgButton* btnScreenWallpaper;
    // Sets the stored picture as the wallpaper of the screen the viewer is
    // on, keeping the other screens'; given by the window.
    std::function<void(const std::filesystem::path& picture, QScreen* screen)> OnSetScreenWallpaper;

    void FormKeyUp(int key);
    void ImgMainDblClick();
    void btnCloseClick();
    void ImgButton1Click();
    void btnScreenWallpaperClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    ISystem& FSystem;
    std::filesystem::path FPicturePath;
};

} // namespace velmora
