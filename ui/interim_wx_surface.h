// Interim wx drawing surface, used only until the plot library's own lands.
#pragma once

#include <wx/dc.h>

#include "plot/drawing_surface.h"

class WxDrawingSurface final : public DrawingSurface {
 public:
  explicit WxDrawingSurface(wxDC& dc) : dc_(dc) {}
  void MoveTo(int x, int y) override { x_ = x; y_ = y; }
  void LineTo(int x, int y) override { dc_.SetPen(pen()); dc_.DrawLine(x_, y_, x, y); x_ = x; y_ = y; }
  void Rectangle(int l, int t, int r, int b) override { dc_.SetPen(pen()); dc_.SetBrush(brush()); dc_.DrawRectangle(l, t, r - l, b - t); }
  void Ellipse(int l, int t, int r, int b) override { dc_.SetPen(pen()); dc_.SetBrush(brush()); dc_.DrawEllipse(l, t, r - l, b - t); }
  void SetPixel(int x, int y, Colour c) override { dc_.SetPen(wxPen(col(c))); dc_.DrawPoint(x, y); }
  void TextOut(int x, int y, const std::string& t) override {
    if (font_.escapement == 900) dc_.DrawRotatedText(t, x, y, 90); else dc_.DrawText(t, x, y);
  }
  void DrawText(const SurfaceRect& r, const std::string& t, unsigned f) override {
    wxSize s = dc_.GetTextExtent(t);
    int x = (f & kTextCentre) ? r.left + (r.right - r.left - s.x) / 2 : r.left;
    int y = (f & kTextVCentre) ? r.top + (r.bottom - r.top - s.y) / 2 : r.top;
    dc_.DrawText(t, x, y);
  }
  TextExtent GetTextExtent(const std::string& t) override { wxSize s = dc_.GetTextExtent(t); return {s.x, s.y}; }
  FontDescription SelectFont(const FontDescription& f) override {
    FontDescription old = font_; font_ = f;
    if (f.height > 0) {
      wxFont font(wxFontInfo(wxSize(0, f.height)).Family(f.pitchAndFamily == kFamilyRoman ? wxFONTFAMILY_ROMAN : wxFONTFAMILY_SWISS));
      dc_.SetFont(font);
    } else if (!saved_.IsOk()) { saved_ = dc_.GetFont(); } else dc_.SetFont(saved_);
    if (!saved_.IsOk()) saved_ = dc_.GetFont();
    return old;
  }
  PenDescription SelectPen(const PenDescription& p) override { auto o = pen_; pen_ = p; return o; }
  BrushDescription SelectBrush(const BrushDescription& b) override { auto o = brush_; brush_ = b; return o; }
  void PaintRect(const SurfaceRect& r) override { dc_.SetPen(*wxTRANSPARENT_PEN); dc_.SetBrush(brush()); dc_.DrawRectangle(r.left, r.top, r.right - r.left, r.bottom - r.top); }
  void SetBackgroundMode(BackgroundMode) override {}
  void SetBackgroundColour(Colour) override {}
  void SetTextColour(Colour c) override { dc_.SetTextForeground(col(c)); }

 private:
  static wxColour col(Colour c) { return wxColour(ColourRed(c), ColourGreen(c), ColourBlue(c)); }
  wxPen pen() const { return wxPen(col(pen_.colour), pen_.width); }
  wxBrush brush() const { return wxBrush(col(brush_.colour)); }
  wxDC& dc_;
  int x_ = 0, y_ = 0;
  FontDescription font_;
  wxFont saved_;
  PenDescription pen_;
  BrushDescription brush_;
};
