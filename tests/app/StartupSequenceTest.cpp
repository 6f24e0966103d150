#include "app/StartupSequence.h"

#include <gtest/gtest.h>

namespace pagewell {
namespace {

TEST(StartupSequenceTest, RunsFilledStepsInTheFixedOrderWhateverOrderTheyWereSet) {
    StartupSequence sequence;
    std::vector<StartupStep> ran;
    for (StartupStep step : {StartupStep::Migrations, StartupStep::Logging, StartupStep::Settings,
                             StartupStep::Store}) {
        sequence.setStep(step, [&ran, step] {
            ran.push_back(step);
            return Status{};
        });
    }
    ASSERT_TRUE(sequence.run().ok());
    EXPECT_EQ(ran, (std::vector<StartupStep>{StartupStep::Logging, StartupStep::Store,
                                             StartupStep::Settings, StartupStep::Migrations}));
    EXPECT_EQ(sequence.completedSteps().size(), StartupSequence::kOrder.size());
}

TEST(StartupSequenceTest, AFailingStepStopsTheSequenceAndIsReported) {
    StartupSequence sequence;
    bool migrationsRan = false;
    sequence.setStep(StartupStep::Settings,
                     [] { return Status(Error::make("Test", 7, "settings unreadable")); });
    sequence.setStep(StartupStep::Migrations, [&] {
        migrationsRan = true;
        return Status{};
    });
    Status status = sequence.run();
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().code, 7);
    EXPECT_EQ(sequence.failedStep(), StartupStep::Settings);
    EXPECT_FALSE(migrationsRan);
    EXPECT_EQ(sequence.completedSteps().back(), StartupStep::Store);
}

}  // namespace
}  // namespace pagewell
