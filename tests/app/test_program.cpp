// The program around the window: a second start restores the first, the
// default error handler, and the dispatcher that workers use.
#include "app/uApplication.h"
#include "app/uQtDispatcher.h"
#include "app/uSingleInstance.h"
#include "tests/app/AppFixture.h"

#include <QCoreApplication>
#include <QTest>
#include <QUuid>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

namespace velmora::test {
namespace {

QString UniqueName() {
    return "VelmoraTest-" + QUuid::createUuid().toString(QUuid::Id128);
}

// Runs a second start on a thread of its own (it waits for the first, which
// answers on this thread's event loop) and returns whether it became first.
bool SecondStart(const QString& name) {
    auto result = std::async(std::launch::async, [name] {
        TSingleInstance second(name);
        return second.Acquire(5000);
    });
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        10000));
    return result.get();
}

using SingleInstance = TAppTest;

TEST_F(SingleInstance, ASecondStartRestoresTheMinimisedWindow) {
    const QString name = UniqueName();
    TSingleInstance first(name);
    ASSERT_TRUE(first.Acquire());
    TFrmMain& window = Open();
    int requests = 0;
    first.OnRestore = [&] {
        ++requests;
        window.RestoreRequest();
    };

    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    EXPECT_FALSE(SecondStart(name));
    EXPECT_EQ(requests, 1);
    EXPECT_FALSE(window.isMinimized());

    // Not minimised: the request changes nothing.
    EXPECT_FALSE(SecondStart(name));
    EXPECT_EQ(requests, 2);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}

TEST(SingleInstanceLock, FreedWhenTheFirstEnds) {
    const QString name = UniqueName();
    {
        TSingleInstance first(name);
        ASSERT_TRUE(first.Acquire());
        // Nobody listens for the message here: the second just ends.
        first.OnRestore = nullptr;
    }
    TSingleInstance again(name);
    EXPECT_TRUE(again.Acquire());
}

// An object whose event handler fails, as a handler whose core call throws.
class TFailingObject : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw std::runtime_error("Cannot open file \"setup.inf\". No such file or directory");
        return QObject::event(e);
    }
};

TEST(DefaultErrorHandler, ShowsTheTextAndGoesOn) {
    TRecordingMessages messages;
    TFailingObject failing;
    QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.Shown.size(), 2u);
    EXPECT_EQ(messages.Shown[0].Text, "Cannot open file \"setup.inf\". No such file or directory");
    EXPECT_EQ(messages.Shown[0].Kind, mkError);
    EXPECT_EQ(messages.Shown[0].Title, "Velmora");
}

TEST(QtDispatcher, RunsStepsOnTheMainThreadAndRefusesAfterShutdown) {
    auto dispatcher = std::make_shared<TQtDispatcher>();
    const std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> onMain{false};
    auto ran = std::async(std::launch::async, [&] {
        return dispatcher->RunOnMain([&] { onMain = std::this_thread::get_id() == mainThread; });
    });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return ran.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 5000));
    EXPECT_TRUE(ran.get());
    EXPECT_TRUE(onMain);

    // A worker waiting while the main thread shuts down is released, and the
    // step never runs; later steps are refused at once.
    std::atomic<bool> stepRan{false};
    auto waiting = std::async(std::launch::async,
                              [&] { return dispatcher->RunOnMain([&] { stepRan = true; }); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // no events processed
    dispatcher->Shutdown();
    EXPECT_FALSE(waiting.get());
    QCoreApplication::processEvents();
    EXPECT_FALSE(stepRan);
    EXPECT_FALSE(dispatcher->RunOnMain([&] { stepRan = true; }));
    EXPECT_FALSE(stepRan);
}

} // namespace
} // namespace velmora::test
