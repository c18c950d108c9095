#include "controls/ImgButton.h"
#include "controls/PaintPanel.h"
#include "tests/controls/Pictures.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace velmora::test {
namespace {

const QRgb Normal = qRgb(200, 0, 0), Hot = qRgb(0, 200, 0), Down = qRgb(0, 0, 200),
           Disable = qRgb(90, 90, 90), Check = qRgb(220, 220, 0), Back = qRgb(255, 255, 255);

TPicture Solid(QRgb colour, int w = 10, int h = 10) {
    TPicture picture;
    picture.SetGraphic(
        std::make_unique<TBitmap>(pics::MakeImage(w, h, [=](int, int) { return colour; })));
    return picture;
}

// A white panel holding buttons, so that what a button draws can be read off.
struct THost {
    TPaintPanel panel;
    THost() {
        panel.resize(300, 100);
        panel.SetColor(Qt::white);
    }
    QRgb At(QWidget& button, QPoint p) {
        return pics::Grab(panel).pixel(button.geometry().topLeft() + p);
    }
};

template <class T> T* MakeButton(THost& host, int x, bool withCheck = true) {
    auto* b = new T(&host.panel);
    b->setGeometry(x, 10, 20, 20);
    b->SetOnEnterOffset(0);
    b->SetOnDownOffset(0);
    b->SetImgNormal(Solid(Normal));
    b->SetImgEnter(Solid(Hot));
    b->SetImgDown(Solid(Down));
    b->SetImgDisable(Solid(Disable));
    if constexpr (std::is_same_v<T, TImgCheckButton>)
        if (withCheck)
            b->SetImgCheck(Solid(Check));
    return b;
}

void Enter(QWidget* w) {
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(w, &e);
}
void Leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

// Finds a font whose line height is the given number of pixels.
QFont FontOfHeight(int height) {
    QFont font = QApplication::font();
    for (int px = 6; px < 40; ++px) {
        font.setPixelSize(px);
        if (QFontMetrics(font).height() == height)
            return font;
    }
    return {};
}

} // namespace

TEST(ImgButton, LayoutPutsPictureAndCaption) {
    THost host;
    auto* b = new TImgButton(&host.panel);
    b->setGeometry(0, 0, 49, 45);
    b->SetImgNormal(Solid(Normal, 28, 28));
    const QFont font = FontOfHeight(13);
    ASSERT_EQ(QFontMetrics(font).height(), 13) << "no font of 13-pixel lines";
    b->setFont(font);
    b->SetCaption("Ab");
    const int tw = QFontMetrics(font).horizontalAdvance("Ab");
    pics::Grab(host.panel);
    EXPECT_EQ(b->PicturePos(), QPoint(10, 1));
    EXPECT_EQ(b->TextPos(), QPoint((49 - tw) / 2, 31));
    EXPECT_EQ(host.At(*b, {10, 1}), Normal);
    EXPECT_EQ(host.At(*b, {10, 0}), Back);
    EXPECT_EQ(host.At(*b, {37, 28}), Normal);
    EXPECT_EQ(host.At(*b, {38, 28}), Back);

    // Every layout on a 100 × 60 button with a 20 × 10 picture.
    b->resize(100, 60);
    b->SetImgNormal(Solid(Normal, 20, 10));
    const int th = 13;
    struct Case {
        TImgControlLayout layout;
        QPoint picture, text;
    } cases[] = {
        {iclImgLeft, {(100 - 20 - tw - 2) / 2, 25}, {(100 - 20 - tw - 2) / 2 + 22, (60 - th) / 2}},
        {iclImgRight,
         {(100 - 20 - tw - 2) / 2 + tw + 2, 25},
         {(100 - 20 - tw - 2) / 2, (60 - th) / 2}},
        {iclImgTop, {40, (60 - 10 - th - 2) / 2}, {(100 - tw) / 2, (60 - 10 - th - 2) / 2 + 12}},
        {iclImgBottom,
         {40, (60 - 10 - th - 2) / 2 + th + 2},
         {(100 - tw) / 2, (60 - 10 - th - 2) / 2}},
        {iclImgCenter, {40, 25}, {(100 - tw) / 2, (60 - th) / 2}},
    };
    for (const auto& c : cases) {
        b->SetImgButtonLayout(c.layout);
        pics::Grab(host.panel);
        EXPECT_EQ(b->PicturePos(), c.picture) << c.layout;
        EXPECT_EQ(b->TextPos(), c.text) << c.layout;
    }
    // Without a caption no gap is added: the picture sits in the middle.
    b->SetCaption("");
    for (auto layout : {iclImgLeft, iclImgRight, iclImgTop, iclImgBottom, iclImgCenter}) {
        b->SetImgButtonLayout(layout);
        pics::Grab(host.panel);
        EXPECT_EQ(b->PicturePos(), QPoint(40, 25)) << layout;
    }
}

TEST(ImgButton, StateTableThroughTheMouse) {
    THost host;
    auto* b = MakeButton<TImgButton>(host, 10);
    int clicks = 0;
    b->OnClick = [&](TImgControl*) { ++clicks; };
    const QPoint mid(5, 5);
    EXPECT_EQ(host.At(*b, mid), Normal);
    Enter(b);
    EXPECT_EQ(b->State(), TImgControl::dsHot);
    EXPECT_EQ(host.At(*b, mid), Hot);
    QTest::mousePress(b, Qt::LeftButton, {}, mid);
    EXPECT_EQ(b->State(), TImgControl::dsDown);
    EXPECT_TRUE(b->Pressed());
    EXPECT_EQ(host.At(*b, mid), Down);
    Leave(b); // held: the down picture stays
    EXPECT_EQ(b->State(), TImgControl::dsDown);
    QTest::mouseRelease(b, Qt::LeftButton, {}, mid);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b->State(), TImgControl::dsHot);
    EXPECT_FALSE(b->Pressed());

    // Released outside: no click, normal state.
    QTest::mousePress(b, Qt::LeftButton, {}, mid);
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b->State(), TImgControl::dsNormal);

    // Other buttons change nothing.
    QTest::mousePress(b, Qt::RightButton, {}, mid);
    EXPECT_EQ(b->State(), TImgControl::dsNormal);
    EXPECT_FALSE(b->Pressed());

    // Disabled: normal state, the disabled picture.
    QTest::mousePress(b, Qt::LeftButton, {}, mid);
    b->setEnabled(false);
    EXPECT_EQ(b->State(), TImgControl::dsNormal);
    EXPECT_FALSE(b->Pressed());
    EXPECT_EQ(host.At(*b, mid), Disable);
}

TEST(ImgButton, MissingPicturesFallBackToNormalExceptChecked) {
    THost host;
    auto* b = new TImgCheckButton(&host.panel);
    b->setGeometry(10, 10, 20, 20);
    b->SetImgNormal(Solid(Normal));
    b->setEnabled(false);
    EXPECT_EQ(host.At(*b, {5, 5}), Normal);
    b->setEnabled(true);
    b->SetChecked(true);
    EXPECT_EQ(host.At(*b, {5, 5}), Back); // no checked picture: nothing drawn
}

TEST(ImgButton, OffsetsMovePictureInHotAndDownStates) {
    THost host;
    auto* b = MakeButton<TImgButton>(host, 10);
    b->SetOnEnterOffset(1);
    b->SetOnDownOffset(2);
    pics::Grab(host.panel);
    EXPECT_EQ(b->PicturePos(), QPoint(5, 5));
    Enter(b);
    pics::Grab(host.panel);
    EXPECT_EQ(b->PicturePos(), QPoint(4, 4));
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(5, 5));
    pics::Grab(host.panel);
    EXPECT_EQ(b->PicturePos(), QPoint(7, 7));
}

TEST(ImgButton, ManagerPicturesAreShared) {
    THost host;
    TImgManager manager;
    manager.SetImgNormal(Solid(Hot));
    auto* b = new TImgButton(&host.panel);
    b->setGeometry(10, 10, 20, 20);
    b->SetImgNormal(Solid(Normal));
    b->SetImgManager(&manager);
    EXPECT_EQ(host.At(*b, {5, 5}), Hot);
}

TEST(ImgCheckButton, GroupsUnderOneParent) {
    THost host;
    TPaintPanel other(&host.panel);
    std::vector<TImgCheckButton*> buttons;
    std::vector<std::string> log;
    for (int i = 0; i < 6; ++i) {
        buttons.push_back(MakeButton<TImgCheckButton>(host, 10 + i * 30));
        buttons.back()->OnClick = [&, i](TImgControl* sender) {
            log.push_back(std::to_string(i) + (static_cast<TImgCheckButton*>(sender)->Checked()
                                                   ? " checked"
                                                   : " unchecked"));
        };
    }
    auto* elsewhere = MakeButton<TImgCheckButton>(host, 0);
    elsewhere->setParent(&other);
    elsewhere->SetChecked(true);

    QTest::mouseClick(buttons[1], Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(buttons[1]->Checked());
    EXPECT_EQ(buttons[1]->State(), TImgControl::dsChecked);
    QTest::mouseClick(buttons[4], Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(buttons[4]->Checked());
    EXPECT_FALSE(buttons[1]->Checked());
    EXPECT_EQ(buttons[1]->State(), TImgControl::dsNormal);
    EXPECT_EQ(log, (std::vector<std::string>{"1 unchecked", "4 unchecked"}));
    EXPECT_TRUE(elsewhere->Checked()); // another parent is another group

    // Clicking a checked button runs OnClick again and changes nothing.
    QTest::mouseClick(buttons[4], Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(log.back(), "4 checked");
    EXPECT_TRUE(buttons[4]->Checked());
    EXPECT_EQ(host.At(*buttons[4], {5, 5}), Check);

    // Another group number under the same parent is left alone.
    buttons[5]->SetCheckGroup(1);
    buttons[5]->SetChecked(true);
    EXPECT_TRUE(buttons[4]->Checked());

    buttons[4]->SetChecked(false);
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(buttons[i]->Checked()) << i;

    // Disabled and enabled again, a checked button shows its normal picture.
    buttons[2]->SetChecked(true);
    buttons[2]->setEnabled(false);
    buttons[2]->setEnabled(true);
    EXPECT_TRUE(buttons[2]->Checked());
    EXPECT_EQ(host.At(*buttons[2], {5, 5}), Normal);
}

TEST(ImgButton, StoredPngWithAlphaBlendsOverTheBackground) {
    // Left half fully transparent, right half half-transparent white.
    const QImage face = pics::MakeImage(
        20, 10, [](int x, int) { return x < 10 ? qRgba(0, 0, 0, 0) : qRgba(255, 255, 255, 128); });
    TPicture source;
    source.SetGraphic(std::make_unique<TPngGraphic>());
    static_cast<TPngGraphic*>(source.Graphic())->LoadFromStream(pics::Encode(face, "png"));
    TPicture stored;
    stored.ReadStored(source.WriteStored());

    TPaintPanel panel;
    panel.resize(40, 20);
    panel.SetColor(qRgb(0, 0, 200));
    auto* b = new TImgButton(&panel);
    b->setGeometry(0, 0, 20, 10);
    b->SetImgNormal(stored);
    const QImage shot = pics::Grab(panel);
    EXPECT_EQ(shot.pixel(5, 5), qRgb(0, 0, 200));
    const QColor blended = shot.pixelColor(15, 5);
    EXPECT_NEAR(blended.red(), 128, 2);
    EXPECT_NEAR(blended.blue(), 228, 2);
}

} // namespace velmora::test
