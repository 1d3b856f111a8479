// Axis ends and grid steps of the results graphs.
#include <gtest/gtest.h>

#include "GraphScale.h"

namespace {

struct AxisCase {
  double step, value, expected;
};

TEST(GraphScale, AxisMaximumIsTheNextMultipleAboveTheValue) {
  // clang-format off
  const AxisCase cases[] = {
      { 5,   4,     5},
      { 5,   5,    10},   // a multiple moves one step further
      { 5,  12,    15},
      {20, 150,   160},
      {20, 160,   180},
      {50, 412.3, 450},
      { 5,   1,     5},   // one iteration
      { 0.1, 0.35,  0.4},
  };
  // clang-format on
  for (const AxisCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "AxisMaximum(" << c.step << ", " << c.value << ")");
    EXPECT_NEAR(AxisMaximum(c.step, c.value), c.expected, 1e-12 * c.expected);
  }
}

TEST(GraphScale, TickStepIsOneTwoOrFiveTimesAPowerOfTen) {
  struct Case {
    double range, expected;
  };
  // clang-format off
  const Case cases[] = {
      {0.35,   0.1},
      {0.99,   0.1},   // every range below 1 gets 0.1
      {9.99,   1},
      {10,     2},
      {37,     5},
      {99.5,  10},
      {150,   20},
      {250,   50},
      {412.3, 50},
      {600,  100},
      {1234, 200},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "TickStep(" << c.range << ")");
    EXPECT_NEAR(TickStep(c.range), c.expected, 1e-12 * c.expected);
  }
}

}  // namespace
