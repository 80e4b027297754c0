// The wx surface on the desktop program's path: a wxMemoryDC on a wxBitmap of
// an initialised GTK application. Needs a display; CTest runs it under xvfb-run.
#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/wx.h>

#include "plot/wx_drawing_surface.h"
#include "plot/xy_plot.h"

namespace {

class TestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

bool IsBlack(const wxImage& image, int x, int y) {
  return image.GetRed(x, y) == 0 && image.GetGreen(x, y) == 0 && image.GetBlue(x, y) == 0;
}

TEST(WxBitmapSurface, PixelRulesAndFontsOnAMemoryDc) {
  wxBitmap bitmap(120, 80);
  {
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    WxDrawingSurface surface(dc);
    surface.SelectPen(PenDescription{MakeColour(0, 0, 0), 1});
    surface.SelectBrush(BrushDescription{MakeColour(255, 255, 255)});
    surface.MoveTo(10, 10);
    surface.LineTo(20, 10);
    surface.Rectangle(30, 5, 35, 10);
    surface.Ellipse(40, 5, 57, 22);
    FontDescription font;
    font.pitchAndFamily = kFamilySwiss;
    font.face = "Swiss";
    for (int height : {12, 15, 48}) {
      font.height = height;
      surface.SelectFont(font);
      EXPECT_NEAR(surface.GetTextExtent("0.5").cy, height, 1) << height;
    }
  }
  const wxImage image = bitmap.ConvertToImage();
  EXPECT_TRUE(IsBlack(image, 10, 10));
  EXPECT_TRUE(IsBlack(image, 19, 10));
  EXPECT_FALSE(IsBlack(image, 20, 10));
  EXPECT_FALSE(IsBlack(image, 9, 10));
  EXPECT_FALSE(IsBlack(image, 15, 9));
  EXPECT_FALSE(IsBlack(image, 15, 11));
  EXPECT_TRUE(IsBlack(image, 34, 9));
  EXPECT_FALSE(IsBlack(image, 35, 9));
  EXPECT_FALSE(IsBlack(image, 34, 10));
  EXPECT_TRUE(IsBlack(image, 40, 13));
  EXPECT_TRUE(IsBlack(image, 56, 13));
  EXPECT_FALSE(IsBlack(image, 57, 13));
  EXPECT_TRUE(IsBlack(image, 48, 21));
  EXPECT_FALSE(IsBlack(image, 48, 22));
}

TEST(WxBitmapSurface, PlotOnAnEightHundredBySixHundredBitmap) {
  double xs[100], ys[100];
  for (int i = 0; i < 100; ++i) {
    xs[i] = i;
    ys[i] = i * i * 1e-9;
  }
  wxBitmap bitmap(800, 600);
  CXYPlot plot;
  {
    wxMemoryDC dc(bitmap);
    WxDrawingSurface surface(dc);
    plot.Init(&surface, SurfaceRect{0, 65, 800, 600});
    plot.AddSeries(100, xs, ys, 10, 1, 1, 1, 1);
    plot.SetAxisTitles("Time [s]", "Amplitude");
    ASSERT_EQ(plot.Draw(), 1);
  }
  const wxImage image = bitmap.ConvertToImage();
  EXPECT_TRUE(IsBlack(image, plot.frame.left, plot.frame.top + 1));
  EXPECT_TRUE(IsBlack(image, plot.XToPixel(50) + 1, plot.YToPixel(50 * 50 * 1e-9) + 1)) << "a marker's ring";
}

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(TestApp);

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "no display: run under xvfb-run -a\n");
    return 1;
  }
  const int result = RUN_ALL_TESTS();
  wxEntryCleanup();
  return result;
}
