// A DrawingSurface that draws nothing and logs every call with its arguments,
// keeping the state a device context keeps (current position, selected font,
// pen and brush, background mode and colours), so that tests can check what was
// drawn where.
//
// Text metric: a font of height h (the default font, height 0, counts as
// kDefaultFontHeight) measures every character (h + 1) / 2 wide and the text h
// high, along the text whatever its escapement. At height 12 that is 6 per
// character.
#pragma once

#include <string>
#include <vector>

#include "plot/drawing_surface.h"

enum class SurfaceOp {
  MoveTo,
  LineTo,
  Rectangle,
  Ellipse,
  SetPixel,
  DrawTextAt,
  DrawText,
  GetTextExtent,
  SelectFont,
  SelectPen,
  SelectBrush,
  PaintRect,
  SetBackgroundMode,
  SetBackgroundColour,
  SetTextColour,
};

struct SurfaceCall {
  SurfaceOp op = SurfaceOp::MoveTo;
  // Point calls: (x, y). Rectangle calls: (x, y) top-left, (right, bottom) far corner.
  int x = 0;
  int y = 0;
  int right = 0;
  int bottom = 0;
  std::string text;
  unsigned format = 0;
  Colour colour = 0;     // SetPixel, SetBackgroundColour, SetTextColour
  FontDescription font;  // font selected by this call, or in effect for text calls
  PenDescription pen;
  BrushDescription brush;
  BackgroundMode mode = BackgroundMode::Opaque;

  // Compact form for assertions, e.g. "LineTo(10,20)", "Rectangle(1,2,5,6)",
  // "DrawTextAt(3,4,\"0.5\")", "SelectFont(12,0,Swiss)", "SetPixel(1,2,#000000)".
  std::string ToString() const;
};

class RecordingSurface final : public DrawingSurface {
 public:
  static constexpr int kDefaultFontHeight = 16;

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

  // The metric above, for any font.
  static TextExtent MeasureText(const FontDescription& font, const std::string& text);

  const std::vector<SurfaceCall>& Calls() const { return calls_; }
  // Calls of one kind, in order.
  std::vector<SurfaceCall> CallsOf(SurfaceOp op) const;
  // ToString of every call except GetTextExtent (measuring draws nothing).
  std::vector<std::string> DrawingLog() const;
  void ClearLog() { calls_.clear(); }

  int CurrentX() const { return currentX_; }
  int CurrentY() const { return currentY_; }
  const FontDescription& Font() const { return font_; }
  const PenDescription& Pen() const { return pen_; }
  const BrushDescription& Brush() const { return brush_; }
  BackgroundMode Mode() const { return mode_; }
  Colour BackgroundColour() const { return backgroundColour_; }
  Colour TextColour() const { return textColour_; }

 private:
  SurfaceCall& Log(SurfaceOp op);
  // Rectangle and ellipse: the box with the pen and brush they are drawn in.
  void LogShape(SurfaceOp op, int left, int top, int right, int bottom);

  std::vector<SurfaceCall> calls_;
  int currentX_ = 0;
  int currentY_ = 0;
  FontDescription font_;
  PenDescription pen_;
  BrushDescription brush_;
  BackgroundMode mode_ = BackgroundMode::Opaque;
  Colour backgroundColour_ = MakeColour(255, 255, 255);
  Colour textColour_ = MakeColour(0, 0, 0);
};
