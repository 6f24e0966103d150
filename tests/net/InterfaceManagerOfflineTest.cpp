// Offline mode, the question about it, and the hand-overs to the modules above the request
// layer. Nothing here reaches a network.
#include "InterfaceManagerFixture.h"

namespace pagewell::test {
namespace {

class InterfaceManagerOfflineTest : public InterfaceManagerFixture {
  protected:
    void SetUp() override {
        InterfaceManagerFixture::SetUp();
        // A port nothing answers on: any request would fail, none is expected.
        makeManager("http://127.0.0.1:1/api2");
        manager_->setHooks({.sendUnsyncedReadConfirmations = [this] { ++confirmationsSent_; }});
    }

    // Asks the question and waits until it is shown.
    std::shared_ptr<std::optional<bool>> ask() {
        auto declined = std::make_shared<std::optional<bool>>();
        const auto before = presenter_->shown.size();
        manager_->showOfflineModeAlert([declined](bool value) { *declined = value; });
        EXPECT_TRUE(
            pump([&] { return presenter_->shown.size() > before || declined->has_value(); }));
        return declined;
    }

    int confirmationsSent_ = 0;
};

TEST_F(InterfaceManagerOfflineTest, ReachabilityFollowsTheSettingOnly) {
    // No server answers, yet offline mode off counts as reachable.
    setOfflineMode(false);
    EXPECT_TRUE(manager_->isReachable());
    EXPECT_TRUE(manager_->isReachableViaWLAN());
    manager_->activeOfflineMode(true);
    EXPECT_TRUE(manager_->isInOfflineMode());
    EXPECT_FALSE(manager_->isReachable());
    EXPECT_FALSE(manager_->isReachableViaWLAN());
    EXPECT_EQ(confirmationsSent_, 0);

    // Leaving offline mode sends what was collected meanwhile.
    manager_->activeOfflineMode(false);
    EXPECT_FALSE(manager_->isInOfflineMode());
    EXPECT_EQ(confirmationsSent_, 1);
    // The setting is persisted, so a new settings store sees it too.
    manager_->activeOfflineMode(true);
    SettingsManager reopened(areas_->documents(), std::filesystem::path(PAGEWELL_SHIPPED_DATA_DIR) /
                                                      "DefaultSettings.plist");
    auto value = reopened.getSettingInGroup("OFFLINE_SETTINGS", "OFFLINEMODE");
    ASSERT_TRUE(value);
    EXPECT_TRUE(value->boolValue(false));
}

// The two situations of the question, each answered both ways: "Yes" switches the mode and
// reports false, "No" changes nothing and reports true.
TEST_F(InterfaceManagerOfflineTest, QuestionInBothSituations) {
    struct Case {
        bool offline;
        bool answerYes;
        const char* title;
        const char* message;
    };
    const Case cases[] = {
        {true, true, "Offlinemode", InterfaceManager::kOfflineOnMessage},
        {true, false, "Offlinemode", InterfaceManager::kOfflineOnMessage},
        {false, true, "No connection", InterfaceManager::kOfflineOffMessage},
        {false, false, "No connection", InterfaceManager::kOfflineOffMessage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.title) + (c.answerYes ? " yes" : " no"));
        setOfflineMode(c.offline);
        confirmationsSent_ = 0;
        auto declined = ask();
        ASSERT_FALSE(declined->has_value());  // kept until the answer
        const auto& shown = presenter_->shown.back();
        EXPECT_EQ(shown.alert.title, c.title);
        EXPECT_EQ(shown.alert.message, c.message);
        EXPECT_EQ(shown.alert.cancelButtonTitle, "No");
        EXPECT_EQ(shown.alert.otherButtonTitles, std::vector<std::string>{"Yes"});

        presenter_->answer(shown.id, c.answerYes ? shown.alert.firstOtherButtonIndex()
                                                 : shown.alert.cancelButtonIndex());
        ASSERT_TRUE(declined->has_value());
        EXPECT_EQ(**declined, !c.answerYes);
        EXPECT_EQ(manager_->isInOfflineMode(), c.answerYes ? !c.offline : c.offline);
        EXPECT_EQ(confirmationsSent_, c.offline && c.answerYes ? 1 : 0);
    }
}

TEST_F(InterfaceManagerOfflineTest, OneQuestionAtATime) {
    setOfflineMode(false);
    auto first = ask();
    auto second = std::make_shared<std::optional<bool>>();
    manager_->showOfflineModeAlert([second](bool value) { *second = value; });
    ASSERT_TRUE(pump([&] { return second->has_value(); }));
    EXPECT_TRUE(**second);  // told "no change" at once
    EXPECT_EQ(presenter_->shown.size(), 1u);
    EXPECT_FALSE(first->has_value());

    presenter_->answer(presenter_->shown[0].id, presenter_->shown[0].alert.firstOtherButtonIndex());
    ASSERT_TRUE(first->has_value());
    EXPECT_FALSE(**first);
    EXPECT_TRUE(manager_->isInOfflineMode());

    // The next question is asked again.
    auto third = ask();
    EXPECT_EQ(presenter_->shown.size(), 2u);
    EXPECT_EQ(presenter_->shown[1].alert.title, "Offlinemode");
}

// A run without a user takes the cancel answer, which must leave the mode as it was.
TEST_F(InterfaceManagerOfflineTest, DefaultPresenterAnswersNoAndChangesNothing) {
    Presenter::setShared(nullptr);
    setOfflineMode(true);
    auto declined = std::make_shared<std::optional<bool>>();
    manager_->showOfflineModeAlert([declined](bool value) { *declined = value; });
    ASSERT_TRUE(pump([&] { return declined->has_value(); }));
    EXPECT_TRUE(**declined);
    EXPECT_TRUE(manager_->isInOfflineMode());
}

TEST_F(InterfaceManagerOfflineTest, LanguageSelectionIsHandedOver) {
    int asked = 0;
    std::function<void()> finish;
    manager_->setHooks(
        {.showLocaleSelection = [&](std::function<void()> done, InterfaceManager::ErrorCallback) {
            ++asked;
            finish = std::move(done);
        }});
    bool done = false;
    manager_->showLocaleSelection([&] { done = true; }, [](const Error&) { FAIL(); });
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(logs_->count("No Locale set"), 1);
    ASSERT_TRUE(finish);
    EXPECT_FALSE(done);
    finish();
    EXPECT_TRUE(done);

    // Without a hook the operation still ends.
    manager_->setHooks({});
    done = false;
    manager_->showLocaleSelection([&] { done = true; }, [](const Error&) { FAIL(); });
    EXPECT_TRUE(pump([&] { return done; }));
}

}  // namespace
}  // namespace pagewell::test
