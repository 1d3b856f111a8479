// Axis ends and grid steps of the results graphs.
#include <gtest/gtest.h>

#include <QImage>
#include <QStringList>
#include <functional>
#include <vector>

#include "AppWindows.h"
#include "FakePlatform.h"
#include "Form3.h"
#include "GraphScale.h"
#include "PictureBox.h"

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

// The two graphs of the results window, drawn from form values set in the test and checked on
// the picture boxes' records of what they drew.
namespace {

using Kind = PictureCommand::Kind;
const QColor kGrey(170, 170, 170);

struct Graphs : testing::Test {
  FakePlatform platform;
  AppWindows windows{platform};
  Form3 form{windows};

  // Sets NI iterations of NS sensors with match values rising toward 1.
  void setConvergence(int ni, int ns) {
    form.IterationCount = ni;
    form.ResultSensorCount = ns;
    form.MatchHistory.assign(ni + 1, std::vector<double>(ns + 2, 0.0));
    for (int k = 1; k <= ni; ++k)
      for (int j = 1; j <= ns; ++j) form.MatchHistory[k][j] = 1.0 - 0.5 / (k + j);
    for (int j = 1; j <= 20; ++j) form.CurveColours[j] = QColor(10 * j, 0, 255 - 10 * j);
  }
  void setDeflections(const std::vector<double>& positions,
                      const std::vector<double>& measured,
                      const std::vector<double>& analysed) {
    form.ResultSensorCount = static_cast<int>(positions.size());
    form.SensorPositions = {0};
    form.MeasuredDeflections = {0};
    form.AnalysedDeflections = {0};
    for (size_t j = 0; j < positions.size(); ++j) {
      form.SensorPositions.push_back(positions[j]);
      form.MeasuredDeflections.push_back(measured[j]);
      form.AnalysedDeflections.push_back(analysed[j]);
    }
  }
};

std::vector<const PictureCommand*> select(const PictureBox* box,
                                          const std::function<bool(const PictureCommand&)>& f) {
  std::vector<const PictureCommand*> out;
  for (const PictureCommand& c : box->commands())
    if (f(c)) out.push_back(&c);
  return out;
}
std::vector<double> verticalGreyLines(const PictureBox* box) {
  std::vector<double> xs;
  for (auto* c : select(box, [](const PictureCommand& c) {
         return c.kind == Kind::Line && c.color == kGrey && c.x1 == c.x2;
       }))
    xs.push_back(c->x1);
  return xs;
}
std::vector<double> horizontalGreyLines(const PictureBox* box) {
  std::vector<double> ys;
  for (auto* c : select(box, [](const PictureCommand& c) {
         return c.kind == Kind::Line && c.color == kGrey && c.y1 == c.y2;
       }))
    ys.push_back(c->y1);
  return ys;
}
QStringList texts(const PictureBox* box, const std::function<bool(const PictureCommand&)>& f) {
  QStringList out;
  for (auto* c : select(box, [&](const PictureCommand& c) { return c.kind == Kind::Text && f(c); }))
    out << c->text;
  return out;
}
void expectValues(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-9) << i;
}

TEST_F(Graphs, ConvergenceOfOneIteration) {
  setConvergence(1, 3);
  form.Command1_Click();
  const PictureBox* p = form.Picture1;
  EXPECT_EQ(form.ConvergenceXMax, 5);
  ASSERT_FALSE(p->commands().empty());
  const PictureCommand& first = p->commands().front();
  EXPECT_EQ(first.scaleLeft, -5);
  EXPECT_DOUBLE_EQ(first.scaleTop, -0.2);
  EXPECT_EQ(first.scaleRight, 5);
  EXPECT_DOUBLE_EQ(first.scaleBottom, 1.2);

  expectValues(verticalGreyLines(p), {0, 5});
  expectValues(horizontalGreyLines(p), {-0.2, 0, 0.2, 0.4, 0.6, 0.8, 1.0});
  // x labels sit at y = 1.02: only "0", the line at 5 has none.
  EXPECT_EQ(texts(p, [](const PictureCommand& c) { return c.y1 == 1.02; }), QStringList{"0"});
  // y labels: all lines but the top one.
  EXPECT_EQ(texts(p, [](const PictureCommand& c) { return c.x1 < 0 && c.y1 < 1.02; }),
            (QStringList{"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}));
  // No curve segments; one marker per sensor at x = 1.
  for (int j = 1; j <= 3; ++j) {
    const QColor colour = form.CurveColours[j];
    EXPECT_TRUE(select(p, [&](const PictureCommand& c) {
                  return c.kind == Kind::Line && c.color == colour;
                }).empty());
    auto markers = select(
        p, [&](const PictureCommand& c) { return c.kind == Kind::Circle && c.color == colour; });
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0]->x1, 1);
    EXPECT_EQ(markers[0]->y1, form.MatchHistory[1][j]);
  }
}

TEST_F(Graphs, ConvergenceOfFiveIterationsMovesTheAxisOneStepFurther) {
  setConvergence(5, 2);
  form.Command1_Click();
  const PictureBox* p = form.Picture1;
  EXPECT_EQ(form.ConvergenceXMax, 10);
  expectValues(verticalGreyLines(p), {0, 5, 10});
  EXPECT_EQ(texts(p, [](const PictureCommand& c) { return c.y1 == 1.02; }),
            (QStringList{"0", "5"}));
  // Four segments and five markers per sensor, joining iteration i to i + 1.
  const QColor colour = form.CurveColours[2];
  auto segments =
      select(p, [&](const PictureCommand& c) { return c.kind == Kind::Line && c.color == colour; });
  ASSERT_EQ(segments.size(), 4u);
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(segments[i - 1]->x1, i);
    EXPECT_EQ(segments[i - 1]->y1, form.MatchHistory[i][2]);
    EXPECT_EQ(segments[i - 1]->x2, i + 1);
    EXPECT_EQ(segments[i - 1]->y2, form.MatchHistory[i + 1][2]);
  }
  EXPECT_EQ(
      select(p,
             [&](const PictureCommand& c) { return c.kind == Kind::Circle && c.color == colour; })
          .size(),
      5u);
  // Axes: x axis at match 1.0, y axis at iteration 0.
  auto axes = select(
      p, [](const PictureCommand& c) { return c.kind == Kind::Line && c.color == Qt::black; });
  ASSERT_EQ(axes.size(), 2u);
  EXPECT_EQ(axes[0]->y1, 1.0);
  EXPECT_EQ(axes[0]->x2, 10);
  EXPECT_EQ(axes[1]->x1, 0);
  EXPECT_DOUBLE_EQ(axes[1]->y1, -0.2);
}

TEST_F(Graphs, LegendOfSixSensorsUsesTheFirstSixCurveColours) {
  setConvergence(3, 6);
  form.Command1_Click();
  const PictureBox* p = form.Picture1;
  auto legend = select(
      p, [](const PictureCommand& c) { return c.kind == Kind::Text && c.text.startsWith('S'); });
  ASSERT_EQ(legend.size(), 6u);
  double lineHeight = legend[1]->y1 - legend[0]->y1;
  EXPECT_GT(lineHeight, 0);
  for (int j = 1; j <= 6; ++j) {
    SCOPED_TRACE(j);
    EXPECT_EQ(legend[j - 1]->text, QStringLiteral("S%1").arg(j));
    EXPECT_EQ(legend[j - 1]->color, form.CurveColours[j]);
    EXPECT_NEAR(legend[j - 1]->y1, (j - 3) * lineHeight, 1e-9);  // first two above y = 0
  }
  // The curves show on the image in their colours.
  const QImage& img = p->image();
  bool found = false;
  for (int y = 0; y < img.height() && !found; ++y)
    for (int x = 0; x < img.width() && !found; ++x)
      found = img.pixelColor(x, y) == form.CurveColours[6];
  EXPECT_TRUE(found);
}

TEST_F(Graphs, DeflectionBasinScalesToTheDataAndLabelsTheGrid) {
  const std::vector<double> positions = {0, 20, 30, 45, 60, 90, 120, 150};
  setDeflections(
      positions, {400, 300, 250, 200, 150, 100, 60, 40}, {412.3, 290, 255, 195, 152, 98, 61, 39});
  form.Command2_Click();
  const PictureBox* p = form.Picture2;
  ASSERT_FALSE(p->commands().empty());
  const PictureCommand& first = p->commands().front();
  EXPECT_DOUBLE_EQ(first.scaleLeft, -160 / 7.7);
  EXPECT_DOUBLE_EQ(first.scaleTop, -450 / 6.4);
  EXPECT_EQ(first.scaleRight, 160);
  EXPECT_EQ(first.scaleBottom, 450);
  EXPECT_DOUBLE_EQ(form.DeflectionXMargin, -160 / 7.7);
  EXPECT_DOUBLE_EQ(form.DeflectionYMargin, -450 / 6.4);

  expectValues(verticalGreyLines(p), {0, 20, 40, 60, 80, 100, 120, 140, 160});
  expectValues(horizontalGreyLines(p), {0, 50, 100, 150, 200, 250, 300, 350, 400, 450});
  // Tick labels in arial: x labels end above the top axis, y labels straddle their lines.
  form.Picture2->FontName = "arial";
  form.Picture2->FontSize = 10;
  const double th = form.Picture2->TextHeight("0");
  EXPECT_EQ(
      texts(p, [&](const PictureCommand& c) { return c.fontName == "arial" && c.y1 + th < 0; }),
      (QStringList{"0", "20", "40", "60", "80", "100", "120", "140"}));
  EXPECT_EQ(
      texts(p, [&](const PictureCommand& c) { return c.fontName == "arial" && c.y1 + th > 0; }),
      (QStringList{"0", "50", "100", "150", "200", "250", "300", "350", "400"}));
  EXPECT_EQ(texts(p, [](const PictureCommand& c) { return c.fontName == "ＭＳ ゴシック"; }),
            (QStringList{"測定位置 (cm)", "測定たわみ", "解析たわみ"}));

  // Basins in sensor order, measured blue and analysed red, each point with a marker.
  auto blue = select(p, [](const PictureCommand& c) {
    return c.kind == Kind::Line && c.color == QColor(0, 0, 255);
  });
  auto red = select(p, [](const PictureCommand& c) {
    return c.kind == Kind::Line && c.color == QColor(255, 0, 0);
  });
  ASSERT_EQ(blue.size(), 7u);
  ASSERT_EQ(red.size(), 7u);
  EXPECT_EQ(red[0]->y1, 412.3);
  EXPECT_EQ(blue[6]->x2, 150);
  EXPECT_EQ(select(p, [](const PictureCommand& c) { return c.kind == Kind::Circle; }).size(), 16u);
}

TEST_F(Graphs, DeflectionsBelowOneMicrometreGetTenthSteps) {
  setDeflections({0, 30, 60}, {0.83, 0.5, 0.2}, {0.8, 0.52, 0.21});
  form.Command2_Click();
  expectValues(horizontalGreyLines(form.Picture2),
               {0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9});
  EXPECT_DOUBLE_EQ(form.DeflectionYMargin, -0.9 / 6.4);
  expectValues(verticalGreyLines(form.Picture2), {0, 20, 40, 60, 80});
}

// Regression: the labels used the format "0", so steps of 0.1 or 0.5 micrometres read "0 0 0 1 1"
// and below 1 micrometre every line read "0". The labels now carry the decimals that the step
// needs: tenths below 1 micrometre, half micrometres below 5, whole numbers from a step of 1 on.
TEST_F(Graphs, DeflectionLabelsShowTheDecimalsOfTheStep) {
  struct Case {
    double largest;
    QStringList labels;
  };
  const Case cases[] = {
      {0.45, {"0.0", "0.1", "0.2", "0.3", "0.4"}},
      {0.04, {"0.0"}},
      {4.3, {"0.0", "0.5", "1.0", "1.5", "2.0", "2.5", "3.0", "3.5", "4.0"}},
      {9, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.largest);
    setDeflections({0, 30, 60}, {c.largest, c.largest / 2, 0}, {c.largest, c.largest / 2, 0});
    form.Command2_Click();
    form.Picture2->FontName = "arial";
    form.Picture2->FontSize = 10;
    const double th = form.Picture2->TextHeight("0");
    EXPECT_EQ(
        texts(form.Picture2,
              [&](const PictureCommand& d) { return d.fontName == "arial" && d.y1 + th > 0; }),
        c.labels);
  }
}

TEST(GraphScale, LabelDecimalsAreThoseOfTheStep) {
  const std::pair<double, int> cases[] = {
      {0.1, 1}, {0.2, 1}, {0.5, 1}, {1, 0}, {50, 0}, {200, 0}, {0.05, 2}, {0.1 + 0.2, 1}};
  for (const auto& [step, decimals] : cases) EXPECT_EQ(LabelDecimals(step), decimals) << step;
}

TEST_F(Graphs, GridLoopsStayBoundedForExtremeValues) {
  setDeflections({0, 1e12}, {1, 1e300}, {1, 1e300});
  form.Command2_Click();
  EXPECT_LT(form.Picture2->commands().size(), 5000u);
  setConvergence(1, 1);
  form.IterationCount = 1;
  form.Command1_Click();
  EXPECT_LT(form.Picture1->commands().size(), 100u);
}

}  // namespace

namespace {

// A window whose load stopped at a file check holds no values; drawing it anyway draws the empty
// axes and no curve or marker.
TEST_F(Graphs, AnEmptyWindowDrawsNoCurves) {
  form.Command1_Click();
  form.Command2_Click();
  for (const PictureBox* p : {form.Picture1, form.Picture2}) {
    EXPECT_TRUE(select(p, [](const PictureCommand& c) { return c.kind == Kind::Circle; }).empty());
  }
}

}  // namespace
