#include "platform/windows/forms.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<QString> events;

class First : public QWidget, public platform::Form {
public:
    explicit First(platform::Forms& forms) : forms_(forms) {}
    QWidget& widget() override { return *this; }
    void Form_Load() override { events.push_back("First load"); }
    void Form_Unload() override {
        events.push_back("First unload");
        forms_.unload<First>(); // unloading itself from its own unload step does nothing
    }

private:
    platform::Forms& forms_;
};

class Second : public QWidget, public platform::Form {
public:
    explicit Second(platform::Forms&) {}
    QWidget& widget() override { return *this; }
    void Form_Load() override { events.push_back("Second load"); }
    void Form_Unload() override { events.push_back("Second unload"); }
};

class FormsTest : public ::testing::Test {
protected:
    void SetUp() override { events.clear(); }
    void TearDown() override { platform::Forms::setModalHandler({}); }
    platform::Forms forms{QStringLiteral("/nowhere")};
};

} // namespace

TEST_F(FormsTest, LoadsOnFirstTouchHiddenAndOnlyOnce) {
    EXPECT_FALSE(forms.isLoaded<First>());
    First& a = forms.get<First>();
    First& b = forms.get<First>();
    EXPECT_EQ(&a, &b);
    EXPECT_FALSE(a.isVisible());
    EXPECT_EQ(events, std::vector<QString>{"First load"});
}

TEST_F(FormsTest, UnloadRunsTheStepOnceAndTheNextTouchLoadsAnew) {
    int ended = 0;
    forms.setLastWindowUnloaded([&] { ++ended; });
    forms.get<First>();
    forms.get<Second>();
    forms.unload<First>();
    forms.unload<First>(); // not loaded: nothing
    EXPECT_FALSE(forms.isLoaded<First>());
    EXPECT_EQ(ended, 0);
    forms.unload<Second>();
    EXPECT_EQ(ended, 1) << "the program ends when no window is loaded";
    forms.get<First>();
    EXPECT_EQ(events, (std::vector<QString>{"First load", "Second load", "First unload",
                                            "Second unload", "First load"}));
}

TEST_F(FormsTest, ModalShowReturnsWhenTheWindowIsUnloaded) {
    forms.setLastWindowUnloaded([] {});
    bool seen = false;
    platform::Forms::setModalHandler([&](QWidget& w) {
        seen = w.isVisible() && w.windowModality() == Qt::ApplicationModal;
        forms.unload<Second>();
    });
    forms.showModal<Second>();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(forms.isLoaded<Second>());
}

TEST_F(FormsTest, RealModalLoopEndsWhenTheWindowHides) {
    forms.setLastWindowUnloaded([] {});
    forms.get<Second>();
    QMetaObject::invokeMethod(
        &forms, [&] { forms.unload<Second>(); }, Qt::QueuedConnection);
    forms.showModal<Second>();
    EXPECT_FALSE(forms.isLoaded<Second>());
}

TEST_F(FormsTest, AStaleInstanceDoesNotUnloadItsSuccessor) {
    forms.setLastWindowUnloaded([] {});
    Second& old = forms.get<Second>();
    forms.unload<Second>(); // discarded through the event loop, still alive here
    Second& fresh = forms.get<Second>();
    ASSERT_NE(&old, &fresh);
    forms.unload(old); // e.g. a late close event of the old instance
    EXPECT_TRUE(forms.isLoaded<Second>());
    forms.unload(fresh);
    EXPECT_FALSE(forms.isLoaded<Second>());
}
