// A DrawingSurface that writes SVG, so that a plot saved as SVG is drawn by the
// same engine calls as the screen and a PNG.
//
// Coordinates are the surface's device units, one SVG user unit each; lines of
// width 1 lie on pixel centres and end before their end point, as on the
// screen. There is no font machinery here: text is measured with a fixed
// average character width (kCharWidthPerHeight of the font height), so labels
// are placed as the engine asks but the viewer's font decides the exact width.
#pragma once

#include <string>

#include "plot/drawing_surface.h"

class SvgSurface final : public DrawingSurface {
 public:
  static constexpr int kDefaultFontHeight = 14;
  static constexpr double kCharWidthPerHeight = 0.5;

  SvgSurface(int width, int height);

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

  // The whole document drawn so far, from the XML declaration to </svg>.
  std::string Document();

 private:
  // Consecutive lines in one pen go into one path; anything else ends it.
  void EndPath();
  void FillRect(int left, int top, int right, int bottom, Colour colour);
  int FontHeight() const;

  int width_;
  int height_;
  std::string body_;
  std::string path_;
  int currentX_ = 0;
  int currentY_ = 0;
  FontDescription font_;
  PenDescription pen_;
  BrushDescription brush_;
  BackgroundMode mode_ = BackgroundMode::Opaque;
  Colour backgroundColour_ = MakeColour(255, 255, 255);
  Colour textColour_ = MakeColour(0, 0, 0);
};
