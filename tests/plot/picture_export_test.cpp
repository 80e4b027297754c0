// The picture export: the PNG holds exactly what the painter draws on a wx
// surface over white (an image filled white, then drawn as the window would), the SVG exactly the SVG surface's
// document, and the format follows the file name.
#include <gtest/gtest.h>
#include <wx/defs.h>
// After defs.h, which tells dcgraph.h that graphics contexts are built in.
#include <wx/dcgraph.h>
#include <wx/graphics.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/mstream.h>

#include <algorithm>
#include <string>

#include "plot/picture_export.h"
#include "plot/run_plot.h"
#include "plot/svg_surface.h"
#include "plot/wx_drawing_surface.h"

namespace {

wxImage DecodePng(const std::string& png) {
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  wxMemoryInputStream stream(png.data(), png.size());
  wxLogNull quiet;  // a broken file must fail the test, not log
  return wxImage(stream, wxBITMAP_TYPE_PNG);
}

bool SamePixels(const wxImage& a, const wxImage& b) {
  return a.GetSize() == b.GetSize() &&
         std::equal(a.GetData(), a.GetData() + static_cast<std::size_t>(a.GetWidth()) * a.GetHeight() * 3, b.GetData());
}

class PictureExport : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 500; ++i) store.Append(i * 0.5, {(i % 37) * 0.25 - 3});
  }
  SurfacePainter RunPlot() const {
    return [this](DrawingSurface& surface, const SurfaceRect& client) {
      DrawRunPlot(&surface, client, store, RunPlotRequest{});
    };
  }
  RunStore store{1};
};

TEST(PictureFormat, TheExtensionInAnyCaseChooses) {
  EXPECT_EQ(PictureFormatOf("plot.png"), PictureFormat::Png);
  EXPECT_EQ(PictureFormatOf("/a.b/Plot.PnG"), PictureFormat::Png);
  EXPECT_EQ(PictureFormatOf("C:\\runs\\day.SVG"), PictureFormat::Svg);
  EXPECT_EQ(PictureFormatOf("plot.svg.gif"), PictureFormat::Unknown);
  EXPECT_EQ(PictureFormatOf("svg"), PictureFormat::Unknown);
  EXPECT_EQ(PictureFormatOf("run.png/plot"), PictureFormat::Unknown);
}

TEST_F(PictureExport, PngHoldsThePaintersPixelsOnWhite) {
  wxImage expected(333, 222);
  expected.SetRGB(wxRect(0, 0, 333, 222), 255, 255, 255);
  {
    wxGCDC dc(wxGraphicsContext::Create(expected));
    WxDrawingSurface surface(dc);
    RunPlot()(surface, SurfaceRect{0, 0, 333, 222});
  }
  const wxImage png = DecodePng(DrawPicture(PictureFormat::Png, 333, 222, RunPlot()));
  ASSERT_TRUE(png.IsOk());
  EXPECT_TRUE(SamePixels(png, expected));
}

TEST_F(PictureExport, SizesAreHeldToTheLimitsAndTheClientIsThePicture) {
  SurfaceRect seen{-1, -1, -1, -1};
  const wxImage png = DecodePng(DrawPicture(PictureFormat::Png, 0, kLargestPictureSide + 1,
                                            [&](DrawingSurface&, const SurfaceRect& client) { seen = client; }));
  ASSERT_TRUE(png.IsOk());
  EXPECT_EQ(png.GetSize(), wxSize(1, kLargestPictureSide));
  EXPECT_EQ(seen.left, 0);
  EXPECT_EQ(seen.top, 0);
  EXPECT_EQ(seen.right, 1);
  EXPECT_EQ(seen.bottom, kLargestPictureSide);
  EXPECT_EQ(DrawPicture(PictureFormat::Unknown, 10, 10, RunPlot()), "");
}

TEST_F(PictureExport, SvgIsTheSvgSurfacesDocument) {
  SvgSurface surface(640, 480);
  RunPlot()(surface, SurfaceRect{0, 0, 640, 480});
  const std::string svg = DrawPicture(PictureFormat::Svg, 640, 480, RunPlot());
  EXPECT_EQ(svg, surface.Document());
  EXPECT_NE(svg.find("Time [s]"), std::string::npos);
  EXPECT_NE(svg.find("Current [uA]"), std::string::npos);
}

// Text in the default font (height 0) takes the start font when one is given.
TEST_F(PictureExport, DefaultFontTextTakesTheStartFont) {
  const SurfacePainter text = [](DrawingSurface& surface, const SurfaceRect&) {
    surface.SelectFont(FontDescription{});
    surface.SetTextColour(MakeColour(0, 0, 0));
    surface.DrawTextAt(2, 2, "MMMM");
  };
  const auto inked = [&](const wxFont& font) {
    const wxImage png = DecodePng(DrawPicture(PictureFormat::Png, 200, 80, text, font));
    int count = 0;
    for (int i = 0; i < 200 * 80 * 3; i += 3) count += png.GetData()[i] < 128 ? 1 : 0;
    return count;
  };
  const int plain = inked(wxNullFont);
  const int large = inked(wxFont(wxFontInfo(30.0).Family(wxFONTFAMILY_SWISS)));
  EXPECT_GT(plain, 0);
  EXPECT_GT(large, 3 * plain);
}

}  // namespace
