#include "core/progress/ProgressPosition.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

using namespace tabula;

namespace {
struct TStep {
    int assigned, position, bar, phaseAfter;
};

void RunSteps(TProgressPosition& progress, const std::vector<TStep>& steps) {
    for (const TStep& step : steps) {
        EXPECT_EQ(progress.Assign(step.assigned), step.bar) << "assigned " << step.assigned;
        EXPECT_EQ(progress.Position(), step.position) << "assigned " << step.assigned;
        EXPECT_EQ(progress.CurrentPhase(), step.phaseAfter) << "assigned " << step.assigned;
    }
}
} // namespace

TEST(ProgressPosition, OnePhaseShowsTruncatedPercentages) {
    TProgressPosition progress;
    EXPECT_DOUBLE_EQ(progress.PercentScale(), 1.0);
    progress.SetMax(3);
    RunSteps(progress, {{1, 1, 33, 1}, {2, 2, 66, 1}, {3, 3, 100, 1}, {4, 4, 133, 1}});
    // Whole percentages come out whole, where a scale in floating point
    // would put some just below.
    for (const int max : {7, 49, 98, 1000, 3333}) {
        progress.SetMax(max);
        EXPECT_EQ(progress.Assign(max), 100) << max;
    }
    progress.SetMin(10);
    progress.SetMax(20);
    EXPECT_EQ(progress.Assign(15), 50);
    EXPECT_EQ(progress.Assign(5), -50);
    progress.SetMax(10); // an empty range: the bar stays at 0, the position is stored
    EXPECT_EQ(progress.PercentScale(), 0.0);
    EXPECT_EQ(progress.Assign(37), 0);
    EXPECT_EQ(progress.Position(), 37);
}

TEST(ProgressPosition, PhasesShareTheBarAndEachRunsZeroToHundred) {
    TProgressPosition three;
    three.SetNbPhase(3);
    RunSteps(three, {{50, 16, 16, 1},
                     {100, 33, 33, 2},
                     {0, 33, 33, 2},
                     {100, 66, 66, 3},
                     {50, 83, 83, 3},
                     {100, 100, 100, 3}});
    three.SetNbPhase(3);
    EXPECT_EQ(three.CurrentPhase(), 1);
}

TEST(ProgressPosition, PhaseCountBelowOneIsOneAndExtremesStayDefined) {
    for (const int phases : {0, -4}) {
        TProgressPosition progress;
        progress.SetNbPhase(phases);
        EXPECT_EQ(progress.NbPhase(), 1);
        EXPECT_EQ(progress.Assign(40), 40);
    }
    TProgressPosition progress;
    progress.SetMin(INT_MIN);
    progress.SetMax(INT_MAX);
    EXPECT_EQ(progress.Assign(INT_MAX), 100);
    EXPECT_EQ(progress.Assign(INT_MIN), 0);
    progress.SetMin(0);
    progress.SetMax(1);
    EXPECT_EQ(progress.Assign(INT_MAX), INT_MAX);
    EXPECT_EQ(progress.Assign(INT_MIN), INT_MIN);
}
