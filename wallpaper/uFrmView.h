#pragma once
// TFrmView: the full-screen picture viewer of the wallpaper search. Borderless,
// maximised and on top; it sees every key before its controls. "设置壁纸"
// makes the shown file the wallpaper, Escape, a double-click and "关闭" close it.
#include "controls/Imaging.h"

#include <QDialog>

#include <filesystem>
#include <string>

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

    void FormKeyUp(int key);
    void ImgMainDblClick();
    void btnCloseClick();
    void ImgButton1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    ISystem& FSystem;
    std::filesystem::path FPicturePath;
};

} // namespace velmora
