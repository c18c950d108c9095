#include "controls/ButtonEdit.h"
#include "tests/controls/Pictures.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

namespace velmora::test {
namespace {

const QRgb Frames[4] = {qRgb(200, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 200), qRgb(90, 90, 90)};

// Four 20 × 18 frames side by side: normal, hot, pushed, disabled.
QImage FourFrames() {
    return pics::MakeImage(80, 18, [](int x, int) { return Frames[x / 20]; });
}

// The folder field of the folder-icon page.
struct TFolderField {
    QWidget window;
    TButtonEdit* edit;
    TFolderField() {
        window.resize(500, 100);
        edit = new TButtonEdit(&window);
        edit->setGeometry(10, 10, 408, 23);
        auto& b = edit->RightButton();
        b.SetVisible(true);
        b.SetAutoWidth(true);
        b.SetRightMargin(5);
        b.SetBottomMargin(4);
        b.SetImage(FourFrames());
        window.show();
    }
    TGlyph* Glyph() { return edit->RightButton().Glyph(); }
};

void Enter(QWidget* w) {
    QEnterEvent e(QPointF(1, 1), QPointF(1, 1), w->mapToGlobal(QPointF(1, 1)));
    QApplication::sendEvent(w, &e);
}
void Leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

QRect InkBox(const QImage& a, const QImage& b) {
    QRect box;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

TEST(ButtonEdit, FolderFieldPlacesItsButtonAndTextRect) {
    TFolderField f;
    auto& b = f.edit->RightButton();
    EXPECT_EQ(b.FrameWidth(), 20);
    EXPECT_EQ(f.Glyph()->geometry(), QRect(383, 0, 20, 19));
    const QRect client = f.edit->ClientRect();
    const QRect text = f.edit->EditRect();
    EXPECT_EQ(text.left() + text.width(), client.left() + client.width() - (1 + 5 + 20));
    EXPECT_EQ(text.left(), client.left() + 1);

    // The 18-pixel frame is drawn at y = 0 of the 19-pixel window; the last
    // row is the brush.
    QImage shot = pics::Grab(*f.Glyph());
    EXPECT_EQ(shot.pixel(0, 0), Frames[0]);
    EXPECT_EQ(shot.pixel(19, 17), Frames[0]);
    EXPECT_NE(shot.pixel(0, 18), Frames[0]);
    b.SetEnabled(false);
    EXPECT_EQ(pics::Grab(*f.Glyph()).pixel(10, 10), Frames[3]);
    b.SetEnabled(true);

    // Hidden, the button gives its room back to the text.
    b.SetVisible(false);
    EXPECT_EQ(f.edit->EditRect().left() + f.edit->EditRect().width(),
              client.left() + client.width() - 1);
    // Resizing the edit moves the button along.
    b.SetVisible(true);
    f.edit->resize(300, 30);
    EXPECT_EQ(f.Glyph()->geometry(), QRect(275, 0, 20, 26));
}

TEST(ButtonEdit, ButtonWindowStatesAndClick) {
    TFolderField f;
    TGlyph* g = f.Glyph();
    std::vector<QObject*> senders;
    f.edit->SetOnRightButtonClick([&](QObject* sender) { senders.push_back(sender); });
    Enter(g);
    EXPECT_EQ(g->State(), bsHot);
    EXPECT_EQ(pics::Grab(*g).pixel(10, 10), Frames[1]);
    QTest::mousePress(g, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(g->State(), bsPushed);
    EXPECT_EQ(pics::Grab(*g).pixel(10, 10), Frames[2]);
    QTest::mouseRelease(g, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(g->State(), bsHot);
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders[0], f.edit);

    // Released elsewhere: stays pushed until the mouse leaves, no click.
    QTest::mousePress(g, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(g, Qt::LeftButton, {}, QPoint(60, 5));
    EXPECT_EQ(g->State(), bsPushed);
    EXPECT_EQ(senders.size(), 1u);
    Leave(g);
    EXPECT_EQ(g->State(), bsNormal);
}

TEST(ButtonEdit, DropDownMenuOpensBelowTheEditAndNeverPushes) {
    TFolderField f;
    QMenu menu;
    menu.addAction("one");
    f.edit->RightButton().SetDropDownMenu(&menu);
    TGlyph* g = f.Glyph();
    QTest::mousePress(g, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(g->State(), bsNormal);
    ASSERT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.pos(), g->mapToGlobal(QPoint(0, f.edit->height())));
    menu.close();
}

TEST(ButtonEdit, EnterReachesOnKeyPressButNeverBreaksTheLine) {
    TButtonEdit edit;
    edit.setText("ab");
    std::vector<int> keys;
    edit.OnKeyPress = [&](TCustomEditEx*, QChar& key) {
        keys.push_back(key.unicode());
        if (key == QChar('x'))
            key = QChar(); // swallowed
    };
    QTest::keyClick(&edit, Qt::Key_End);
    QTest::keyClick(&edit, Qt::Key_Return);
    QTest::keyClick(&edit, Qt::Key_Enter);
    QTest::keyClick(&edit, Qt::Key_C);
    QTest::keyClick(&edit, Qt::Key_X);
    EXPECT_EQ(keys, (std::vector<int>{13, 13, 'c', 'x'}));
    EXPECT_EQ(edit.text(), "abc");
}

TEST(ButtonEdit, HintTextWhileEmptyAndUnfocused) {
    QWidget window;
    auto* edit = new TButtonEdit(&window);
    edit->setGeometry(0, 0, 200, 30);
    auto* other = new QLineEdit(&window);
    other->setGeometry(0, 40, 100, 20);
    window.show();
    other->setFocus();
    const QImage blank = pics::Grab(*edit);
    edit->SetHintText("hint");
    const QImage hinted = pics::Grab(*edit);
    const QRect box = InkBox(blank, hinted);
    ASSERT_FALSE(box.isEmpty());
    const QRect client = edit->ClientRect();
    EXPECT_GE(box.left(), client.left() + 3);
    EXPECT_LE(box.left(), client.left() + 5);
    EXPECT_NEAR(box.center().y(), client.center().y(), 3);

    edit->setText(" "); // blank text still shows the hint
    EXPECT_FALSE(InkBox(blank, pics::Grab(*edit)).isEmpty());
    edit->setText("");

    bool asked = false;
    edit->OnPaintHintText = [&](TCustomEditEx*, QPainter&, bool& enable) {
        asked = true;
        enable = false;
    };
    EXPECT_TRUE(InkBox(blank, pics::Grab(*edit)).isEmpty());
    EXPECT_TRUE(asked);
    edit->OnPaintHintText = nullptr;

    // Focused, the field shows no hint.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    ASSERT_TRUE(edit->hasFocus());
    asked = false;
    edit->OnPaintHintText = [&](TCustomEditEx*, QPainter&, bool&) { asked = true; };
    pics::Grab(*edit);
    EXPECT_FALSE(asked);
}

TEST(EditEx, PaddingInsetsThePlainTextRect) {
    TCustomEditEx edit;
    edit.resize(100, 24);
    edit.SetPaddingWidth(7);
    const QRect client = edit.ClientRect();
    EXPECT_EQ(edit.EditRect().left(), client.left() + 1 + 7);
    EXPECT_EQ(edit.EditRect().left() + edit.EditRect().width(),
              client.left() + client.width() - 1 - 7);
    const int bar = QFontMetrics(edit.font()).size(0, "|").height();
    EXPECT_EQ(edit.EditRect().top(), client.top() + (client.height() - bar) / 2);
}

} // namespace velmora::test
