// The live view's picture through a recording surface: no display needed.
#include <gtest/gtest.h>

#include "plot/recording_surface.h"
#include "plot/xy_plot.h"
#include "run/sample_history.h"
#include "ui/live_view_painter.h"

namespace {

std::vector<std::string> PlotPart(const RecordingSurface& dc) {
  std::vector<std::string> log = dc.DrawingLog();
  // Title, status font, status line, font back: the plot follows.
  return std::vector<std::string>(log.begin() + std::min<std::size_t>(4, log.size()), log.end());
}

}  // namespace

TEST(StatusLine, RoundsTimeToWholeSecondsAndPrintsCurrentInGeneralForm) {
  EXPECT_EQ(FormatStatusLine(0.0, 0.0), "00:00:00  0");
  EXPECT_EQ(FormatStatusLine(0.49, 0.000123), "00:00:00  0.000123");
  EXPECT_EQ(FormatStatusLine(0.5, 1.5e-6), "00:00:01  1.5e-06");
  EXPECT_EQ(FormatStatusLine(3599.5, -2e-3), "01:00:00  -0.002");
  EXPECT_EQ(FormatStatusLine(86399.4, 1.0), "23:59:59  1");
  EXPECT_EQ(FormatStatusLine(360000.0, 0.0), "100:00:00  0");
}

TEST(LiveViewPaint, EmptyHistoryDrawsTitleAndStatusLineOnly) {
  const SampleHistory history;
  LatestReading latest;
  latest.time = 61.2;
  latest.current = 2.5e-7;

  RecordingSurface dc;
  PaintLiveView(dc, SurfaceRect{0, 0, 640, 400}, 0, latest, history);

  const auto texts = dc.CallsOf(SurfaceOp::DrawText);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].text, "Keithley Sourcemeter 2400");
  EXPECT_EQ(texts[0].format, kTextCentre | kTextSingleLine);
  EXPECT_EQ(texts[0].y, 0);
  EXPECT_EQ(texts[0].right, 640);
  EXPECT_EQ(texts[0].font.height, 0) << "the title uses the default font";
  EXPECT_EQ(texts[1].text, "00:01:01  2.5e-07");
  EXPECT_EQ(texts[1].format, kTextSingleLine);
  EXPECT_EQ(texts[1].y, 15);
  EXPECT_EQ(texts[1].font.height, 30);
  EXPECT_EQ(texts[1].font.face, "Roman");
  EXPECT_EQ(texts[1].font.pitchAndFamily, kFamilyRoman);

  // The status font is put back, and nothing else is drawn.
  EXPECT_EQ(dc.Font().height, 0);
  EXPECT_EQ(dc.DrawingLog().size(), 4u);
}

TEST(LiveViewPaint, PlotSitsBelowTheStatusLineAndFollowsTheChannel) {
  SampleHistory history;
  LatestReading latest;
  for (int i = 1; i <= 5; ++i) {
    latest.time = i;
    latest.current = 1e-6 * i;
    latest.voltage = 2.0;
    history.Append(latest);
  }

  RecordingSurface current, voltage, aux3, aux4;
  const SurfaceRect client{0, 0, 500, 300};
  PaintLiveView(current, client, 0, latest, history);
  PaintLiveView(voltage, client, 1, latest, history);
  PaintLiveView(aux3, client, 2, latest, history);
  PaintLiveView(aux4, client, 3, latest, history);

  // The same plot drawn directly on the rectangle 65 units below the top.
  RecordingSurface direct;
  {
    CXYPlot plot;
    plot.Init(&direct, SurfaceRect{0, 65, 500, 300});
    plot.AddSeries(history.count, history.rows[0], history.rows[1], 10, 1, 1, 1, 1);
    plot.SetAxisTitles("Time [s]", "Amplitude");
    plot.Draw();
  }
  ASSERT_FALSE(direct.DrawingLog().empty());
  EXPECT_EQ(PlotPart(current), direct.DrawingLog());

  EXPECT_NE(PlotPart(current), PlotPart(voltage)) << "channel 2 plots another row";
  EXPECT_EQ(PlotPart(aux3), PlotPart(aux4)) << "channels 3 and 4 both hold zeros";
  EXPECT_NE(PlotPart(voltage), PlotPart(aux3));
}
