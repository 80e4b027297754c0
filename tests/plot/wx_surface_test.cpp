// Pixel rules of the wx surface, checked by drawing into an image and reading
// the pixels back. Runs without a display: a cairo context on a wxImage is the
// same wxGCDC drawing path that window and memory DCs take on GTK 3.
#include <gtest/gtest.h>
// First: it says whether wxGCDC exists, which <wx/dcgraph.h> asks.
#include <wx/defs.h>

#include <wx/dcgraph.h>
#include <wx/graphics.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/mstream.h>

#include <functional>
#include <limits>
#include <random>
#include <string>

#include "plot/png_encoder.h"
#include "plot/wx_drawing_surface.h"
#include "plot/xy_plot.h"

namespace {

constexpr Colour kBlack = MakeColour(0, 0, 0);
constexpr Colour kRed = MakeColour(255, 0, 0);
constexpr Colour kBlue = MakeColour(0, 0, 255);

wxImage Render(int width, int height, const std::function<void(WxDrawingSurface&)>& draw) {
  wxImage image(width, height);
  image.SetRGB(wxRect(0, 0, width, height), 255, 255, 255);
  {
    wxGCDC dc(wxGraphicsContext::Create(image));  // writes back when destroyed
    WxDrawingSurface surface(dc);
    surface.SelectPen(PenDescription{kBlack, 1});
    surface.SelectBrush(BrushDescription{kRed});
    draw(surface);
  }
  return image;
}

Colour At(const wxImage& image, int x, int y) {
  return MakeColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
}
bool IsWhite(const wxImage& image, int x, int y) { return At(image, x, y) == MakeColour(255, 255, 255); }

// Pixels that are not white within [x0, x1) x [y0, y1).
int Marked(const wxImage& image, int x0, int y0, int x1, int y1) {
  int count = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) count += IsWhite(image, x, y) ? 0 : 1;
  }
  return count;
}

// Pixels of one colour within [x0, x1) x [y0, y1).
int Counted(const wxImage& image, Colour colour, int x0, int y0, int x1, int y1) {
  int count = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) count += At(image, x, y) == colour ? 1 : 0;
  }
  return count;
}

TEST(WxSurfacePixels, LinesLeaveOutTheirEndPoint) {
  const wxImage image = Render(60, 60, [](WxDrawingSurface& s) {
    s.MoveTo(10, 10);
    s.LineTo(20, 10);
    EXPECT_EQ(s.CurrentX(), 20);
    EXPECT_EQ(s.CurrentY(), 10);
    s.MoveTo(20, 14);  // right to left
    s.LineTo(10, 14);
    s.MoveTo(30, 10);  // downward
    s.LineTo(30, 20);
    s.MoveTo(10, 30);  // diagonal
    s.LineTo(15, 35);
    s.MoveTo(40, 40);  // length zero
    s.LineTo(40, 40);
    s.MoveTo(50, 40);  // length one
    s.LineTo(51, 40);
  });
  EXPECT_EQ(At(image, 10, 10), kBlack);
  EXPECT_EQ(At(image, 19, 10), kBlack);
  EXPECT_TRUE(IsWhite(image, 20, 10));
  EXPECT_TRUE(IsWhite(image, 9, 10));
  EXPECT_EQ(Marked(image, 0, 9, 25, 12), 10) << "one row, 10 pixels, no antialiasing";

  EXPECT_EQ(At(image, 20, 14), kBlack);
  EXPECT_TRUE(IsWhite(image, 10, 14));
  EXPECT_EQ(Marked(image, 0, 13, 25, 16), 10);

  EXPECT_EQ(At(image, 30, 10), kBlack) << "shares its start with the first line's row";
  EXPECT_EQ(At(image, 30, 19), kBlack);
  EXPECT_TRUE(IsWhite(image, 30, 20));

  for (int i = 0; i < 5; ++i) EXPECT_EQ(At(image, 10 + i, 30 + i), kBlack) << i;
  EXPECT_TRUE(IsWhite(image, 15, 35));
  EXPECT_EQ(Marked(image, 5, 25, 25, 40), 5);

  EXPECT_EQ(Marked(image, 35, 35, 45, 45), 0);
  EXPECT_EQ(Marked(image, 45, 35, 60, 45), 1);
  EXPECT_EQ(At(image, 50, 40), kBlack);
}

TEST(WxSurfacePixels, RectangleAndEllipseFarCornersAreExclusive) {
  const wxImage image = Render(80, 40, [](WxDrawingSurface& s) {
    s.Rectangle(30, 5, 35, 10);  // 5 x 5
    s.Ellipse(40, 5, 57, 22);    // 17 across, the scale-4 circle marker
    s.Rectangle(5, 5, 8, 8);     // 3 x 3, the scale-1 square marker
  });
  EXPECT_EQ(Counted(image, kBlack, 25, 0, 40, 15), 16) << "outline ring of a 5 x 5 square";
  EXPECT_EQ(Marked(image, 25, 0, 40, 15), 25);
  EXPECT_EQ(At(image, 30, 5), kBlack);
  EXPECT_EQ(At(image, 34, 9), kBlack);
  EXPECT_TRUE(IsWhite(image, 35, 9));
  EXPECT_TRUE(IsWhite(image, 34, 10));
  EXPECT_EQ(At(image, 32, 7), kRed) << "inside filled with the brush";

  EXPECT_EQ(At(image, 6, 6), kRed);
  EXPECT_EQ(Marked(image, 0, 0, 10, 10), 9);

  int leftmost = 80, rightmost = -1, topmost = 40, bottommost = -1;
  for (int y = 0; y < 40; ++y) {
    for (int x = 38; x < 80; ++x) {
      if (At(image, x, y) != kBlack) continue;
      leftmost = std::min(leftmost, x);
      rightmost = std::max(rightmost, x);
      topmost = std::min(topmost, y);
      bottommost = std::max(bottommost, y);
    }
  }
  EXPECT_EQ(leftmost, 40);
  EXPECT_EQ(rightmost, 56);
  EXPECT_EQ(topmost, 5);
  EXPECT_EQ(bottommost, 21);
  EXPECT_EQ(At(image, 48, 13), kRed);
}

TEST(WxSurfacePixels, PixelsRegionsAndColours) {
  const wxImage image = Render(40, 40, [](WxDrawingSurface& s) {
    s.SetPixel(5, 5, kRed);
    s.MoveTo(0, 20);
    s.LineTo(10, 20);  // still in the pen's colour after a pixel of another
    s.SelectBrush(BrushDescription{kBlue});
    s.PaintRect(SurfaceRect{20, 10, 30, 15});  // fill only, far corner exclusive
  });
  EXPECT_EQ(At(image, 5, 5), kRed);
  EXPECT_EQ(Marked(image, 0, 0, 10, 10), 1);
  EXPECT_EQ(At(image, 3, 20), kBlack);
  EXPECT_EQ(Marked(image, 15, 5, 35, 20), 50);
  EXPECT_EQ(At(image, 20, 10), kBlue);
  EXPECT_EQ(At(image, 29, 14), kBlue);
}

TEST(WxSurfaceText, FontHeightsAndTextPlacement) {
  int horizontalWidth = 0, horizontalHeight = 0, verticalWidth = 0;
  const wxImage image = Render(200, 200, [&](WxDrawingSurface& s) {
    FontDescription font;
    font.weight = 400;
    font.pitchAndFamily = kFamilySwiss;
    font.face = "Swiss";
    for (int height : {12, 15, 30, 48, 60}) {
      font.height = height;
      s.SelectFont(font);
      EXPECT_NEAR(s.GetTextExtent("0.5").cy, height, 1) << "Swiss " << height;
    }
    font.pitchAndFamily = kFamilyRoman;
    font.face = "Roman";
    font.height = 30;
    const FontDescription previous = s.SelectFont(font);
    EXPECT_EQ(previous.height, 60);
    EXPECT_NEAR(s.GetTextExtent("00:00:00").cy, 30, 1) << "Roman 30";

    font.pitchAndFamily = kFamilySwiss;
    font.height = 15;
    s.SelectFont(font);
    const TextExtent horizontal = s.GetTextExtent("Time");
    horizontalWidth = horizontal.cx;
    horizontalHeight = horizontal.cy;
    s.SetTextColour(kBlack);
    s.SetBackgroundMode(BackgroundMode::Transparent);
    s.DrawTextAt(20, 20, "Time");
    font.escapement = 900;
    s.SelectFont(font);
    verticalWidth = s.GetTextExtent("Time").cx;
    s.DrawTextAt(100, 150, "Time");
  });
  EXPECT_EQ(verticalWidth, horizontalWidth) << "extent along the text, whatever its direction";
  const int ink = Marked(image, 0, 0, 200, 200);
  const int horizontalInk = Marked(image, 20, 20, 20 + horizontalWidth, 20 + horizontalHeight);
  EXPECT_GT(horizontalInk, 10);
  // Upward text: from (100, 150) up over its width, to the right over its height.
  const int verticalInk = Marked(image, 100, 150 - horizontalWidth, 100 + horizontalHeight, 151);
  EXPECT_GT(verticalInk, 10);
  EXPECT_EQ(horizontalInk + verticalInk, ink) << "no ink outside the two text boxes";
}

TEST(WxSurfaceGeometry, FarCoordinatesAreClippedNotOverflowed) {
  constexpr int kLow = std::numeric_limits<int>::min();
  constexpr int kHigh = std::numeric_limits<int>::max();
  const wxImage image = Render(50, 50, [](WxDrawingSurface& s) {
    s.MoveTo(kLow, kLow);
    s.LineTo(kHigh, kHigh);  // the main diagonal, through the image
    s.MoveTo(kLow, 45);
    s.LineTo(kHigh, 45);
    s.Rectangle(kHigh - 2, kHigh - 2, kHigh, kHigh);  // far away: left out
    s.Ellipse(kLow, kLow, kLow + 17, kLow + 17);
    s.DrawTextAt(kHigh, 0, "far");
  });
  for (int i = 0; i < 50; ++i) {
    if (i == 45) continue;
    EXPECT_EQ(At(image, i, i), kBlack) << i;
    EXPECT_EQ(At(image, i, 45), kBlack) << i;
  }
  EXPECT_EQ(Marked(image, 0, 0, 50, 50), 50 + 49);
}

TEST(WxSurfacePlot, DrawsAWholePlotAndRestoresTheDc) {
  double xs[100], ys[100];
  for (int i = 0; i < 100; ++i) {
    xs[i] = i;
    ys[i] = (i % 10) * 1e-6;
  }
  wxImage image(400, 300);
  image.SetRGB(wxRect(0, 0, 400, 300), 0, 255, 0);
  CXYPlot plot;
  {
    wxGCDC dc(wxGraphicsContext::Create(image));
    const wxPen pen(*wxBLUE, 3);
    dc.SetPen(pen);
    dc.GetGraphicsContext()->SetAntialiasMode(wxANTIALIAS_DEFAULT);
    {
      WxDrawingSurface surface(dc);
      plot.Init(&surface, SurfaceRect{10, 10, 390, 290});
      plot.AddSeries(100, xs, ys, 10, 1, 1, 1, 1);
      plot.SetAxisTitles("Time [s]", "Amplitude");
      ASSERT_EQ(plot.Draw(), 1);
    }
    EXPECT_EQ(dc.GetPen().GetColour(), *wxBLUE);
    EXPECT_EQ(dc.GetPen().GetWidth(), 3);
    EXPECT_EQ(dc.GetGraphicsContext()->GetAntialiasMode(), wxANTIALIAS_DEFAULT);
  }
  // Background region: the bounds and a margin of 3 left/top, 4 right, 5 bottom.
  EXPECT_TRUE(IsWhite(image, 7, 7));
  EXPECT_EQ(At(image, 6, 7), MakeColour(0, 255, 0));
  EXPECT_TRUE(IsWhite(image, 393, 294));
  EXPECT_EQ(At(image, 394, 294), MakeColour(0, 255, 0));
  EXPECT_EQ(At(image, 393, 295), MakeColour(0, 255, 0));
  // Frame outline on the frame's coordinates, top edge along its full width.
  for (int x = plot.frame.left; x <= plot.frame.right; ++x) EXPECT_EQ(At(image, x, plot.frame.top), kBlack) << x;
  for (int y = plot.frame.top; y <= plot.frame.bottom; ++y) EXPECT_EQ(At(image, plot.frame.left, y), kBlack) << y;
  // Every point's square marker: white fill inside a black ring (the centre is
  // where the next line starts, so the ring is what is checked).
  for (int i = 0; i < 100; ++i) {
    const int x = plot.XToPixel(xs[i]);
    const int y = plot.YToPixel(ys[i]);
    EXPECT_EQ(At(image, x - 1, y - 1), kBlack) << i;
    EXPECT_EQ(At(image, x + 1, y + 1), kBlack) << i;
  }
}

// The encoder for toolkits without libpng, read back by libpng: a drawn plot
// (runs of white, lines, anti-aliased text) and noise (no runs at all), in
// sizes whose rows end inside and on a run's 258-byte limit.
TEST(PngEncoder, LibpngReadsBackEveryPixel) {
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  std::mt19937 random(7);
  std::vector<wxImage> images;
  images.push_back(Render(300, 200, [](WxDrawingSurface& s) {
    s.Rectangle(10, 10, 290, 190);
    s.MoveTo(10, 190);
    s.LineTo(290, 10);
    FontDescription font;
    font.height = 15;
    font.pitchAndFamily = kFamilySwiss;
    s.SelectFont(font);
    s.DrawTextAt(40, 40, "Current [uA]");
  }));
  for (const auto& [width, height] : {std::pair{1, 1}, std::pair{86, 3}, std::pair{173, 5}}) {
    wxImage noise(width, height);
    for (int i = 0; i < width * height * 3; ++i) noise.GetData()[i] = static_cast<unsigned char>(random() % 4 * 85);
    images.push_back(noise);
  }
  for (const wxImage& image : images) {
    const std::string png = EncodePng(image.GetWidth(), image.GetHeight(), image.GetData());
    wxMemoryInputStream stream(png.data(), png.size());
    wxLogNull quiet;  // a broken file must fail the comparison, not open a log window
    const wxImage decoded(stream, wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(decoded.IsOk()) << image.GetWidth() << "x" << image.GetHeight();
    ASSERT_EQ(decoded.GetSize(), image.GetSize());
    const std::size_t bytes = static_cast<std::size_t>(image.GetWidth()) * image.GetHeight() * 3;
    EXPECT_TRUE(std::equal(image.GetData(), image.GetData() + bytes, decoded.GetData()))
        << image.GetWidth() << "x" << image.GetHeight();
  }
  // A plot is mostly runs, which must shrink it well below its raw 180 kB.
  EXPECT_LT(EncodePng(images[0].GetWidth(), images[0].GetHeight(), images[0].GetData()).size(), 300u * 200 * 3 / 10);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  wxInitializer initializer;
  if (!initializer.IsOk()) {
    std::fprintf(stderr, "wxWidgets failed to initialise\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
