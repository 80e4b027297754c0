// DrawingSurface on a wxDC, with the platform's rules the plot is laid out for:
// lines leave out their end point, rectangle and ellipse far corners are
// exclusive, and the surface keeps the current position (wxDC has none).
//
// On cairo-backed DCs (every DC of wxGTK 3) antialiasing is switched off and
// the half-pixel offset on, for the lifetime of the surface; lines of width 1
// are rasterised here (Bresenham, end point left out) and drawn as runs of
// whole pixels, so they hit exactly the pixels a raster device would. The DC's
// pen, brush, font, background mode and colours, antialiasing and offset are
// restored when the surface is destroyed.
//
// Fonts: the description's height is the cell height in device units, reached
// with a point size calibrated on this DC (pixel-sized fonts need a display);
// family 0x20 maps to wxFONTFAMILY_SWISS, 0x10 to wxFONTFAMILY_ROMAN, and the
// generic faces "Swiss" and "Roman" to those families; escapement 900 draws
// with DrawRotatedText. Height 0 selects the DC's font from construction.
//
// Geometry far outside the DC's area is clipped or left out before it reaches
// the toolkit, whose fixed-point rasteriser overflows on such coordinates.
#pragma once

#include <wx/dc.h>
#include <wx/font.h>

#include <vector>

#include "plot/drawing_surface.h"

class wxGraphicsContext;

class WxDrawingSurface final : public DrawingSurface {
 public:
  explicit WxDrawingSurface(wxDC& dc);
  ~WxDrawingSurface() override;
  WxDrawingSurface(const WxDrawingSurface&) = delete;
  WxDrawingSurface& operator=(const WxDrawingSurface&) = delete;

  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void Rectangle(int left, int top, int right, int bottom) override;
  void Ellipse(int left, int top, int right, int bottom) override;
  void SetPixel(int x, int y, Colour colour) override;
  void DrawTextAt(int x, int y, const std::string& text) override;
  void DrawText(const SurfaceRect& rect, const std::string& text, unsigned format) override;
  TextExtent GetTextExtent(const std::string& text) override;
  FontDescription SelectFont(const FontDescription& font) override;
  PenDescription SelectPen(const PenDescription& pen) override;
  BrushDescription SelectBrush(const BrushDescription& brush) override;
  void PaintRect(const SurfaceRect& rect) override;
  void SetBackgroundMode(BackgroundMode mode) override;
  void SetBackgroundColour(Colour colour) override;
  void SetTextColour(Colour colour) override;

  int CurrentX() const { return currentX_; }
  int CurrentY() const { return currentY_; }

 private:
  struct CachedFont {
    FontDescription description;
    wxFont font;
  };
  struct Area {
    long long left, top, right, bottom;  // inclusive pixel bounds
  };
  struct PixelRun {
    int left, top, right, bottom;  // inclusive pixel bounds
  };

  const wxFont& FontFor(const FontDescription& description);
  double PixelsPerPoint(wxFontFamily family);
  void AddPixelRun(long long x0, long long y0, long long x1, long long y1);
  void DrawBresenham(long long x0, long long y0, long long x1, long long y1);
  void FlushPixelRuns();
  void UsePenColour(const wxColour& colour);
  bool FarAway(long long left, long long top, long long right, long long bottom) const;

  wxDC& dc_;
  wxGraphicsContext* context_ = nullptr;
  int savedAntialias_ = 0;
  bool savedOffset_ = false;
  wxPen savedPen_;
  wxBrush savedBrush_;
  wxFont savedFont_;
  int savedBackgroundMode_ = 0;
  wxColour savedTextBackground_;
  wxColour savedTextForeground_;

  Area visible_{};  // the DC's area with a small margin
  int currentX_ = 0;
  int currentY_ = 0;
  FontDescription font_;
  PenDescription pen_;
  BrushDescription brush_;
  wxColour penColourOnDc_;
  int escapement_ = 0;
  std::vector<CachedFont> fonts_;
  std::vector<PixelRun> runs_;
  double swissPixelsPerPoint_ = 0;
  double romanPixelsPerPoint_ = 0;
  double defaultPixelsPerPoint_ = 0;
};
