#include "app/AlertManager.h"

#include <gtest/gtest.h>

#include "ScriptedPresenter.h"

namespace pagewell {
namespace {

struct RecordingDelegate : AlertDelegate {
    void alertClickedButtonAtIndex(const Alert& alert, int index) override {
        clicks.emplace_back(alert.title, index);
    }
    std::optional<bool> alertShouldEnableFirstOtherButton(const Alert&) override {
        return enableFirstOther;
    }
    std::vector<std::pair<std::string, int>> clicks;
    std::optional<bool> enableFirstOther;
};

class AlertManagerTest : public ::testing::Test {
  protected:
    void SetUp() override { Clock::setShared(clock); }
    void TearDown() override { Clock::setShared(nullptr); }

    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ScriptedPresenter> presenter = std::make_shared<ScriptedPresenter>();
    AlertManager manager{presenter};
};

TEST_F(AlertManagerTest, NewAlertDismissesThePreviousThroughItsCancelButtonWithoutAnimation) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto first = manager.forceShowAlertWithTitle("First", "m", delegate, "Cancel", {"OK"});
    auto second = manager.forceShowAlertWithTitle("Second", "m", delegate, "Cancel", {"OK"});

    EXPECT_FALSE(presenter->isOpen(first));
    EXPECT_TRUE(presenter->isOpen(second));
    EXPECT_TRUE(presenter->shown[0].dismissedByCode);
    EXPECT_FALSE(presenter->shown[0].animated);
    ASSERT_EQ(delegate->clicks.size(), 1u);
    EXPECT_EQ(delegate->clicks[0], std::make_pair(std::string("First"), 0));

    presenter->answer(second, 1);
    ASSERT_EQ(delegate->clicks.size(), 2u);
    EXPECT_EQ(delegate->clicks[1], std::make_pair(std::string("Second"), 1));
}

TEST_F(AlertManagerTest, WithoutAutoDismissBothAlertsStayOpen) {
    manager.setShouldAutoDismissLastAlert(false);
    auto first = manager.forceShowAlertWithTitle("First", "m", {}, "Cancel", {});
    auto second = manager.forceShowAlertWithTitle("Second", "m", {}, "Cancel", {});
    EXPECT_TRUE(presenter->isOpen(first));
    EXPECT_TRUE(presenter->isOpen(second));
}

TEST_F(AlertManagerTest, AnAnsweredAlertIsNotDismissedAgain) {
    auto first = manager.forceShowAlertWithTitle("First", "m", {}, "Cancel", {"OK"});
    presenter->answer(first, 1);
    manager.forceShowAlertWithTitle("Second", "m", {}, "Cancel", {});
    EXPECT_FALSE(presenter->shown[0].dismissedByCode);
    EXPECT_EQ(presenter->shown[0].answer, 1);
}

TEST_F(AlertManagerTest, FirstOtherButtonIsEnabledUnlessTheDelegateSaysNo) {
    manager.forceShowAlertWithTitle("No delegate", "m", {}, "Cancel", {"OK"});
    EXPECT_TRUE(manager.shouldEnableFirstOtherButton());

    auto silent = std::make_shared<RecordingDelegate>();
    manager.forceShowAlertWithTitle("Silent", "m", silent, "Cancel", {"OK"});
    EXPECT_TRUE(manager.shouldEnableFirstOtherButton());

    auto refusing = std::make_shared<RecordingDelegate>();
    refusing->enableFirstOther = false;
    manager.forceShowAlertWithTitle("Refusing", "m", refusing, "Cancel", {"OK"});
    EXPECT_FALSE(manager.shouldEnableFirstOtherButton());
}

TEST_F(AlertManagerTest, ThrottledAlertsCountTheirPauseInWholeSeconds) {
    struct Case {
        double pause;
        std::chrono::milliseconds later;
        bool secondShown;
    };
    // The default half second truncates to no pause at all.
    const Case cases[] = {{0.5, std::chrono::milliseconds(0), true},
                          {2.9, std::chrono::milliseconds(1999), false},
                          {2.9, std::chrono::milliseconds(2000), true}};
    for (const auto& c : cases) {
        AlertManager throttled{presenter};
        throttled.setSecondsBetweenAlerts(c.pause);
        ASSERT_TRUE(throttled.showAlertWithTitle("A", "m", {}, "OK", {}).has_value());
        clock->advance(c.later);
        EXPECT_EQ(throttled.showAlertWithTitle("B", "m", {}, "OK", {}).has_value(), c.secondShown)
            << "pause " << c.pause << " after " << c.later.count() << " ms";
    }
}

TEST_F(AlertManagerTest, SettingThePauseToZeroEndsARunningPause) {
    manager.setSecondsBetweenAlerts(10);
    ASSERT_TRUE(manager.showAlertWithTitle("A", "m", {}, "OK", {}).has_value());
    EXPECT_FALSE(manager.showAlertWithTitle("B", "m", {}, "OK", {}).has_value());
    manager.setSecondsBetweenAlerts(0);
    EXPECT_TRUE(manager.showAlertWithTitle("C", "m", {}, "OK", {}).has_value());
}

}  // namespace
}  // namespace pagewell
