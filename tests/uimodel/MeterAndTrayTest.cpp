#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ui/model/MeterBallistics.h"
#include "ui/model/ViewTexts.h"

namespace tavuno {
namespace {

TEST(MeterBallistics, RisesAtOnceFallsBackWithinHalfASecondAndIgnoresBadPeaks) {
  MeterBallistics meter;
  EXPECT_DOUBLE_EQ(meter.update(1.0f, 0.0), 1.0);
  EXPECT_NEAR(meter.update(0.0f, 0.1), 0.8, 1e-9) << "falls, does not drop";
  EXPECT_DOUBLE_EQ(meter.update(0.0f, 0.6), 0.0);
  EXPECT_NEAR(meter.update(0.001f, 0.64), 0.0, 1e-6) << "-60 dB is the floor";
  EXPECT_DOUBLE_EQ(meter.update(std::nanf(""), 0.7), 0.0);
  EXPECT_DOUBLE_EQ(meter.update(std::numeric_limits<float>::infinity(), 0.8), 1.0);
  EXPECT_NEAR(MeterBallistics::scaled(0.1f), 2.0 / 3.0, 1e-6) << "-20 dB";
}

TEST(ViewTexts, ScrollStepsStayOnTheGridAndInRange) {
  EXPECT_FLOAT_EQ(steppedVolume(0.5f, 1), 0.55f);
  EXPECT_FLOAT_EQ(steppedVolume(0.37f, 1), 0.4f);
  EXPECT_FLOAT_EQ(steppedVolume(0.98f, 3), 1.0f);
  EXPECT_FLOAT_EQ(steppedVolume(0.02f, -2), 0.0f);
  EXPECT_FLOAT_EQ(steppedVolume(std::nanf(""), 1), 0.05f);
}

TEST(ViewTexts, TrayToolTipSaysMutedOrTheVolume) {
  ServiceState state;
  state.volume = 0.42f;
  state.volumeAvailable = true;
  EXPECT_EQ(trayToolTip(state), "Tavuno — volume 42%");
  state.muted = true;
  EXPECT_EQ(trayToolTip(state), "Tavuno — saída silenciada");
  EXPECT_STREQ(muteActionTitle(true), "Reativar saída");
}

}  // namespace
}  // namespace tavuno
