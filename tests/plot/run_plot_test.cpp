// The whole-run plot (min/max columns over a RunStore) and the SVG surface
// that draws the same engine calls as the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "plot/recording_surface.h"
#include "plot/run_plot.h"
#include "plot/run_store.h"
#include "plot/svg_surface.h"

namespace {

int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

// Every text drawn, by DrawTextAt or DrawText, in order.
std::vector<std::string> Texts(const RecordingSurface& surface) {
  std::vector<std::string> texts;
  for (const SurfaceCall& call : surface.Calls()) {
    if (call.op == SurfaceOp::DrawTextAt || call.op == SurfaceOp::DrawText) texts.push_back(call.text);
  }
  return texts;
}

// A steady current with one spike up and one dip down, a sample a second.
RunStore SteadyRunWithSpikeAndDip(std::size_t count, std::size_t spikeAt, std::size_t dipAt) {
  RunStore store(1);
  for (std::size_t i = 0; i < count; ++i) {
    const double value = i == spikeAt ? 50.0 : i == dipAt ? -30.0 : 1.0 + (i % 7) * 0.01;
    store.Append(static_cast<double>(i), {value});
  }
  return store;
}

TEST(RunPlotTest, OneSampleSpikeAndDipReachTheirPixelsInAWholeDayRun) {
  const RunStore store = SteadyRunWithSpikeAndDip(86400, 40000, 70001);
  RecordingSurface surface;
  const SurfaceRect bounds{0, 0, 1000, 600};
  ASSERT_EQ(DrawRunPlot(&surface, bounds, store, RunPlotRequest{}), 1);
  int highest = bounds.bottom;
  int lowest = bounds.top;
  int lines = 0;
  for (const SurfaceCall& call : surface.CallsOf(SurfaceOp::LineTo)) {
    if (call.pen.colour != MakeColour(0, 0, 0)) continue;
    highest = std::min(highest, call.y);
    lowest = std::max(lowest, call.y);
    ++lines;
  }
  ASSERT_GT(lines, 0);
  // The value axis runs from the dip to the spike: both reach the frame's ends.
  const std::vector<std::string> labels = Texts(surface);
  EXPECT_NE(std::find(labels.begin(), labels.end(), "Time [h]"), labels.end());
  EXPECT_NE(std::find(labels.begin(), labels.end(), "Current [uA]"), labels.end());
  EXPECT_LT(highest, 100);
  EXPECT_GT(lowest, 450);

  // Zoomed to the hour around the spike: still there; zoomed away from both: gone.
  RecordingSurface zoomed;
  RunPlotRequest request;
  request.from = 39000;
  request.to = 41000;
  ASSERT_EQ(DrawRunPlot(&zoomed, bounds, store, request), 1);
  int spikeLines = 0;
  const std::vector<std::string> zoomedLabels = Texts(zoomed);
  EXPECT_NE(std::find(zoomedLabels.begin(), zoomedLabels.end(), "Time [s]"), zoomedLabels.end());
  RecordingSurface quiet;
  request.from = 1000;
  request.to = 2000;
  ASSERT_EQ(DrawRunPlot(&quiet, bounds, store, request), 1);
  for (const std::string& text : Texts(quiet)) {
    if (text == "50" || text == "-30" || text == "-20") ++spikeLines;
  }
  EXPECT_EQ(spikeLines, 0);
}

TEST(RunPlotTest, AnEmptySpanDrawsAxesButReportsNothingDrawn) {
  const RunStore store = SteadyRunWithSpikeAndDip(100, 10, 20);
  RecordingSurface surface;
  RunPlotRequest request;
  request.from = 500;
  request.to = 600;
  EXPECT_EQ(DrawRunPlot(&surface, SurfaceRect{0, 0, 400, 300}, store, request), 0);
  EXPECT_FALSE(Texts(surface).empty());
  const RunStore empty(1);
  RecordingSurface nothing;
  EXPECT_EQ(DrawRunPlot(&nothing, SurfaceRect{0, 0, 400, 300}, empty, RunPlotRequest{}), 0);
}

TEST(SvgSurfaceTest, LinesCoverTheSamePixelsAsOnScreen) {
  SvgSurface svg(20, 10);
  svg.MoveTo(0, 2);
  svg.LineTo(10, 2);  // pixels 0..9 of row 2
  svg.LineTo(10, 7);  // pixels 2..6 of column 10
  svg.LineTo(10, 7);  // nothing
  const std::string document = svg.Document();
  EXPECT_NE(document.find("M0 2.5L10 2.5M10.5 2L10.5 7\""), std::string::npos) << document;
  EXPECT_EQ(Occurrences(document, "<path"), 1);
  EXPECT_NE(document.find("width=\"20\" height=\"10\" viewBox=\"0 0 20 10\""), std::string::npos);
}

TEST(SvgSurfaceTest, TextIsEscapedAndRotatedLikeTheEngineAsks) {
  SvgSurface svg(100, 100);
  svg.SetBackgroundMode(BackgroundMode::Transparent);
  svg.DrawTextAt(5, 6, "a<b & \"c\"\x01>");
  FontDescription upward = StrokeFont(12, 900, kFamilySwiss, "Arial");
  svg.SelectFont(upward);
  svg.DrawTextAt(30, 40, "up");
  const std::string document = svg.Document();
  EXPECT_NE(document.find(">a&lt;b &amp; &quot;c&quot;&gt;</text>"), std::string::npos) << document;
  EXPECT_NE(document.find("transform=\"rotate(-90 30 40)\">up</text>"), std::string::npos) << document;
  EXPECT_EQ(svg.GetTextExtent("abcd").cx, 24);
}

TEST(SvgSurfaceTest, DrawsTheSameCallsAsTheRecordingSurface) {
  const RunStore store = SteadyRunWithSpikeAndDip(5000, 100, 4000);
  const SurfaceRect bounds{0, 0, 640, 480};
  RecordingSurface recording;
  SvgSurface svg(640, 480);
  ASSERT_EQ(DrawRunPlot(&recording, bounds, store, RunPlotRequest{}), 1);
  ASSERT_EQ(DrawRunPlot(&svg, bounds, store, RunPlotRequest{}), 1);
  const std::string document = svg.Document();
  int segments = 0;
  int x = 0, y = 0;
  for (const SurfaceCall& call : recording.Calls()) {
    if (call.op == SurfaceOp::MoveTo) {
      x = call.x;
      y = call.y;
    } else if (call.op == SurfaceOp::LineTo) {
      if (call.x != x || call.y != y) ++segments;
      x = call.x;
      y = call.y;
    }
  }
  EXPECT_EQ(Occurrences(document, "M"), segments);
  const std::vector<std::string> texts = Texts(recording);
  for (const std::string& text : texts) {
    EXPECT_NE(document.find(">" + text + "</text>"), std::string::npos) << text;
  }
  EXPECT_EQ(Occurrences(document, "</text>"), static_cast<int>(texts.size()));
}

}  // namespace
