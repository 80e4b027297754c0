#include "plot/wx_drawing_surface.h"

#include <wx/graphics.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Coordinates beyond this never reach the toolkit: cairo keeps 24.8 fixed point.
constexpr long long kSafeCoordinate = 1LL << 22;
// Lines whose ends lie this close to the visible area are rasterised whole.
constexpr long long kNearMargin = 4096;

wxColour ToWxColour(Colour colour) {
  return wxColour(static_cast<unsigned char>(ColourRed(colour)), static_cast<unsigned char>(ColourGreen(colour)),
                  static_cast<unsigned char>(ColourBlue(colour)));
}

Colour FromWxColour(const wxColour& colour) {
  return colour.IsOk() ? MakeColour(colour.Red(), colour.Green(), colour.Blue()) : MakeColour(0, 0, 0);
}

wxString ToWxString(const std::string& text) {
  wxString converted = wxString::FromUTF8(text.data(), text.size());
  if (converted.empty() && !text.empty()) converted = wxString::From8BitData(text.data(), text.size());
  return converted;
}

wxPen LinePen(const wxColour& colour, int width) {
  wxPen pen(colour, std::max(1, width), wxPENSTYLE_SOLID);
  // Butt caps end a horizontal or vertical stroke exactly at its end point.
  pen.SetCap(wxCAP_BUTT);
  pen.SetJoin(wxJOIN_MITER);
  return pen;
}

wxFontFamily FamilyOf(int pitchAndFamily) {
  switch (pitchAndFamily & 0xF0) {
    case kFamilyRoman: return wxFONTFAMILY_ROMAN;
    case kFamilySwiss: return wxFONTFAMILY_SWISS;
    case 0x30: return wxFONTFAMILY_MODERN;
    case 0x40: return wxFONTFAMILY_SCRIPT;
    case 0x50: return wxFONTFAMILY_DECORATIVE;
    default: return wxFONTFAMILY_DEFAULT;
  }
}

bool SameFont(const FontDescription& a, const FontDescription& b) {
  return a.height == b.height && a.weight == b.weight && a.pitchAndFamily == b.pitchAndFamily && a.face == b.face;
}

// Clips the segment to the rectangle (Liang-Barsky); false when nothing is left.
bool ClipToArea(double& x0, double& y0, double& x1, double& y1, double left, double top, double right, double bottom) {
  double t0 = 0, t1 = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - left, right - x0, y0 - top, bottom - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  const double sx = x0, sy = y0;
  x0 = sx + t0 * dx;
  y0 = sy + t0 * dy;
  x1 = sx + t1 * dx;
  y1 = sy + t1 * dy;
  return true;
}

long long Clamp(long long value, long long low, long long high) { return std::min(std::max(value, low), high); }

}  // namespace

WxDrawingSurface::WxDrawingSurface(wxDC& dc) : dc_(dc) {
  context_ = dc_.GetGraphicsContext();
  if (context_ != nullptr) {
    savedAntialias_ = context_->GetAntialiasMode();
    savedOffset_ = context_->OffsetEnabled();
    context_->SetAntialiasMode(wxANTIALIAS_NONE);
    context_->EnableOffset(true);
  }
  savedPen_ = dc_.GetPen();
  savedBrush_ = dc_.GetBrush();
  savedFont_ = dc_.GetFont();
  savedBackgroundMode_ = dc_.GetBackgroundMode();
  savedTextBackground_ = dc_.GetTextBackground();
  savedTextForeground_ = dc_.GetTextForeground();

  pen_.colour = savedPen_.IsOk() ? FromWxColour(savedPen_.GetColour()) : MakeColour(0, 0, 0);
  pen_.width = savedPen_.IsOk() ? std::max(1, savedPen_.GetWidth()) : 1;
  brush_.colour = savedBrush_.IsOk() ? FromWxColour(savedBrush_.GetColour()) : MakeColour(255, 255, 255);
  penColourOnDc_ = ToWxColour(pen_.colour);
  dc_.SetPen(LinePen(penColourOnDc_, pen_.width));

  int width = 0, height = 0;
  dc_.GetSize(&width, &height);
  if (width > 0 && height > 0) {
    visible_ = Area{dc_.DeviceToLogicalX(0) - 2LL, dc_.DeviceToLogicalY(0) - 2LL, dc_.DeviceToLogicalX(width) + 2LL,
                    dc_.DeviceToLogicalY(height) + 2LL};
  } else {
    visible_ = Area{-kSafeCoordinate / 4, -kSafeCoordinate / 4, kSafeCoordinate / 4, kSafeCoordinate / 4};
  }
}

WxDrawingSurface::~WxDrawingSurface() {
  if (savedPen_.IsOk()) dc_.SetPen(savedPen_);
  if (savedBrush_.IsOk()) dc_.SetBrush(savedBrush_);
  if (savedFont_.IsOk()) dc_.SetFont(savedFont_);
  dc_.SetBackgroundMode(savedBackgroundMode_);
  if (savedTextBackground_.IsOk()) dc_.SetTextBackground(savedTextBackground_);
  if (savedTextForeground_.IsOk()) dc_.SetTextForeground(savedTextForeground_);
  if (context_ != nullptr) {
    context_->SetAntialiasMode(static_cast<wxAntialiasMode>(savedAntialias_));
    context_->EnableOffset(savedOffset_);
  }
}

void WxDrawingSurface::UsePenColour(const wxColour& colour) {
  if (colour == penColourOnDc_) return;
  dc_.SetPen(LinePen(colour, pen_.width));
  penColourOnDc_ = colour;
}

bool WxDrawingSurface::FarAway(long long left, long long top, long long right, long long bottom) const {
  return right < visible_.left || left > visible_.right || bottom < visible_.top || top > visible_.bottom;
}

void WxDrawingSurface::MoveTo(int x, int y) {
  currentX_ = x;
  currentY_ = y;
}

void WxDrawingSurface::LineTo(int x, int y) {
  UsePenColour(ToWxColour(pen_.colour));
  if (pen_.width <= 1) {
    DrawBresenham(currentX_, currentY_, x, y);
    FlushPixelRuns();
  } else {
    double x0 = currentX_, y0 = currentY_, x1 = x, y1 = y;
    if (ClipToArea(x0, y0, x1, y1, visible_.left, visible_.top, visible_.right, visible_.bottom)) {
      dc_.DrawLine(static_cast<wxCoord>(std::lround(x0)), static_cast<wxCoord>(std::lround(y0)),
                   static_cast<wxCoord>(std::lround(x1)), static_cast<wxCoord>(std::lround(y1)));
    }
  }
  currentX_ = x;
  currentY_ = y;
}

// Pixels from (x0, y0) up to, not including, (x1, y1), as a raster device
// steps them; drawn as runs of whole pixels along the major axis.
void WxDrawingSurface::DrawBresenham(long long x0, long long y0, long long x1, long long y1) {
  const bool near = x0 >= visible_.left - kNearMargin && x0 <= visible_.right + kNearMargin &&
                    y0 >= visible_.top - kNearMargin && y0 <= visible_.bottom + kNearMargin &&
                    x1 >= visible_.left - kNearMargin && x1 <= visible_.right + kNearMargin &&
                    y1 >= visible_.top - kNearMargin && y1 <= visible_.bottom + kNearMargin;
  if (!near) {
    // Far ends: only the part over the visible area (whose margin hides the
    // rounding of the clipped ends) is rasterised.
    double fx0 = static_cast<double>(x0), fy0 = static_cast<double>(y0);
    double fx1 = static_cast<double>(x1), fy1 = static_cast<double>(y1);
    if (!ClipToArea(fx0, fy0, fx1, fy1, static_cast<double>(visible_.left), static_cast<double>(visible_.top),
                    static_cast<double>(visible_.right), static_cast<double>(visible_.bottom))) {
      return;
    }
    x0 = std::llround(fx0);
    y0 = std::llround(fy0);
    x1 = std::llround(fx1);
    y1 = std::llround(fy1);
  }
  const long long dx = std::llabs(x1 - x0), dy = std::llabs(y1 - y0);
  const long long sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
  if (dx >= dy) {
    long long error = 2 * dy - dx;
    long long runStart = x0, x = x0, y = y0;
    for (long long i = 0; i < dx; ++i) {
      const long long nextX = x + sx;
      long long nextY = y;
      if (error > 0) {
        nextY += sy;
        error -= 2 * dx;
      }
      error += 2 * dy;
      if (nextY != y || i + 1 == dx) {
        AddPixelRun(std::min(runStart, x), y, std::max(runStart, x), y);
        runStart = nextX;
      }
      x = nextX;
      y = nextY;
    }
  } else {
    long long error = 2 * dx - dy;
    long long runStart = y0, x = x0, y = y0;
    for (long long i = 0; i < dy; ++i) {
      const long long nextY = y + sy;
      long long nextX = x;
      if (error > 0) {
        nextX += sx;
        error -= 2 * dy;
      }
      error += 2 * dx;
      if (nextX != x || i + 1 == dy) {
        AddPixelRun(x, std::min(runStart, y), x, std::max(runStart, y));
        runStart = nextY;
      }
      x = nextX;
      y = nextY;
    }
  }
}

// Collects the pixels (x0..x1, y0..y1) of a horizontal or vertical run, bounds included.
void WxDrawingSurface::AddPixelRun(long long x0, long long y0, long long x1, long long y1) {
  if (FarAway(x0, y0, x1, y1)) return;
  runs_.push_back(PixelRun{static_cast<int>(Clamp(x0, visible_.left, visible_.right)),
                           static_cast<int>(Clamp(y0, visible_.top, visible_.bottom)),
                           static_cast<int>(Clamp(x1, visible_.left, visible_.right)),
                           static_cast<int>(Clamp(y1, visible_.top, visible_.bottom))});
}

void WxDrawingSurface::FlushPixelRuns() {
  if (runs_.empty()) return;
  if (context_ != nullptr) {
    // One fill of whole-pixel rectangles per line: far cheaper than a stroke per run.
    wxGraphicsPath path = context_->CreatePath();
    for (const PixelRun& run : runs_) {
      path.AddRectangle(run.left, run.top, run.right - run.left + 1.0, run.bottom - run.top + 1.0);
    }
    context_->SetBrush(wxBrush(penColourOnDc_, wxBRUSHSTYLE_SOLID));
    context_->FillPath(path);
    context_->SetBrush(dc_.GetBrush());
  } else {
    // A butt-capped stroke drawn in increasing direction covers its start pixel
    // and stops before its end point.
    for (const PixelRun& run : runs_) {
      if (run.top == run.bottom) {
        dc_.DrawLine(run.left, run.top, run.right + 1, run.top);
      } else {
        dc_.DrawLine(run.left, run.top, run.left, run.bottom + 1);
      }
    }
  }
  runs_.clear();
}

void WxDrawingSurface::Rectangle(int left, int top, int right, int bottom) {
  long long l = std::min(left, right), r = std::max(left, right);
  long long t = std::min(top, bottom), b = std::max(top, bottom);
  if (r - l < 1 || b - t < 1 || FarAway(l, t, r - 1, b - 1)) return;
  // Clamping to the margin keeps the visible part exact: the outline moves out of sight.
  l = Clamp(l, visible_.left, visible_.right);
  r = Clamp(r, visible_.left, visible_.right);
  t = Clamp(t, visible_.top, visible_.bottom);
  b = Clamp(b, visible_.top, visible_.bottom);
  UsePenColour(ToWxColour(pen_.colour));
  dc_.DrawRectangle(static_cast<wxCoord>(l), static_cast<wxCoord>(t), static_cast<wxCoord>(r - l),
                    static_cast<wxCoord>(b - t));
}

void WxDrawingSurface::Ellipse(int left, int top, int right, int bottom) {
  long long l = std::min(left, right), r = std::max(left, right);
  long long t = std::min(top, bottom), b = std::max(top, bottom);
  if (r - l < 2 || b - t < 2 || FarAway(l, t, r - 1, b - 1)) return;
  // Only absurd ellipses get here with unsafe coordinates; they are squashed, not overflowed.
  l = Clamp(l, -kSafeCoordinate, kSafeCoordinate);
  r = Clamp(r, -kSafeCoordinate, kSafeCoordinate);
  t = Clamp(t, -kSafeCoordinate, kSafeCoordinate);
  b = Clamp(b, -kSafeCoordinate, kSafeCoordinate);
  UsePenColour(ToWxColour(pen_.colour));
  // The toolkit's outline reaches one pixel past the size given.
  dc_.DrawEllipse(static_cast<wxCoord>(l), static_cast<wxCoord>(t), static_cast<wxCoord>(r - l - 1),
                  static_cast<wxCoord>(b - t - 1));
}

void WxDrawingSurface::SetPixel(int x, int y, Colour colour) {
  if (FarAway(x, y, x, y)) return;
  UsePenColour(ToWxColour(colour));
  AddPixelRun(x, y, x, y);
  FlushPixelRuns();
}

void WxDrawingSurface::DrawTextAt(int x, int y, const std::string& text) {
  if (std::llabs(x) > kSafeCoordinate || std::llabs(y) > kSafeCoordinate) return;
  if (escapement_ != 0) {
    dc_.DrawRotatedText(ToWxString(text), x, y, escapement_ / 10.0);
  } else {
    dc_.DrawText(ToWxString(text), x, y);
  }
}

void WxDrawingSurface::DrawText(const SurfaceRect& rect, const std::string& text, unsigned format) {
  const TextExtent extent = GetTextExtent(text);
  long long x = rect.left;
  long long y = rect.top;
  if (format & kTextCentre) x = rect.left + (static_cast<long long>(rect.right) - rect.left - extent.cx) / 2;
  if ((format & kTextVCentre) && (format & kTextSingleLine)) {
    y = rect.top + (static_cast<long long>(rect.bottom) - rect.top - extent.cy) / 2;
  }
  if (std::llabs(x) > kSafeCoordinate || std::llabs(y) > kSafeCoordinate) return;
  dc_.DrawText(ToWxString(text), static_cast<wxCoord>(x), static_cast<wxCoord>(y));
}

TextExtent WxDrawingSurface::GetTextExtent(const std::string& text) {
  wxCoord width = 0, height = 0;
  dc_.GetTextExtent(ToWxString(text), &width, &height);
  return TextExtent{width, height};
}

double WxDrawingSurface::PixelsPerPoint(wxFontFamily family) {
  double& cached = family == wxFONTFAMILY_SWISS   ? swissPixelsPerPoint_
                   : family == wxFONTFAMILY_ROMAN ? romanPixelsPerPoint_
                                                  : defaultPixelsPerPoint_;
  if (cached <= 0) {
    const wxFont current = dc_.GetFont();
    dc_.SetFont(wxFont(wxFontInfo(100.0).Family(family)));
    wxCoord width = 0, height = 0;
    dc_.GetTextExtent("Xg", &width, &height);
    if (current.IsOk()) dc_.SetFont(current);
    cached = height > 0 ? height / 100.0 : 96.0 / 72.0;
  }
  return cached;
}

const wxFont& WxDrawingSurface::FontFor(const FontDescription& description) {
  for (const CachedFont& cached : fonts_) {
    if (SameFont(cached.description, description)) return cached.font;
  }
  wxFont font;
  const int height = std::abs(description.height);
  if (height == 0 || height > 10000) {
    // Without a font of the DC's own, a plain one: the stock GUI font would
    // need the desktop's style settings, which a DC without display lacks.
    font = savedFont_.IsOk() ? savedFont_ : wxFont(wxFontInfo(10.0).Family(wxFONTFAMILY_SWISS));
  } else {
    const wxFontFamily family = FamilyOf(description.pitchAndFamily);
    wxFontInfo info(height / PixelsPerPoint(family));
    info.Family(family);
    if (description.weight > 0) info.Weight(std::min(std::max(description.weight, 1), 1000));
    if (!description.face.empty() && description.face != "Swiss" && description.face != "Roman") {
      info.FaceName(ToWxString(description.face));
    }
    font = wxFont(info);
    // Point sizes map to cell heights only roughly; two corrections land on
    // the height asked for, or within a pixel of it.
    const wxFont current = dc_.GetFont();
    for (int attempt = 0; attempt < 2 && font.IsOk(); ++attempt) {
      dc_.SetFont(font);
      wxCoord width = 0, measured = 0;
      dc_.GetTextExtent("Xg", &width, &measured);
      if (measured <= 0 || measured == height) break;
      font.SetFractionalPointSize(font.GetFractionalPointSize() * height / measured);
    }
    if (current.IsOk()) dc_.SetFont(current);
  }
  fonts_.push_back(CachedFont{description, font});
  return fonts_.back().font;
}

FontDescription WxDrawingSurface::SelectFont(const FontDescription& font) {
  const FontDescription previous = font_;
  font_ = font;
  escapement_ = font.escapement;
  const wxFont& selected = FontFor(font);
  if (selected.IsOk()) dc_.SetFont(selected);
  return previous;
}

PenDescription WxDrawingSurface::SelectPen(const PenDescription& pen) {
  const PenDescription previous = pen_;
  pen_ = pen;
  penColourOnDc_ = ToWxColour(pen.colour);
  dc_.SetPen(LinePen(penColourOnDc_, pen.width));
  return previous;
}

BrushDescription WxDrawingSurface::SelectBrush(const BrushDescription& brush) {
  const BrushDescription previous = brush_;
  brush_ = brush;
  dc_.SetBrush(wxBrush(ToWxColour(brush.colour), wxBRUSHSTYLE_SOLID));
  return previous;
}

void WxDrawingSurface::PaintRect(const SurfaceRect& rect) {
  long long l = std::min(rect.left, rect.right), r = std::max(rect.left, rect.right);
  long long t = std::min(rect.top, rect.bottom), b = std::max(rect.top, rect.bottom);
  if (r - l < 1 || b - t < 1 || FarAway(l, t, r - 1, b - 1)) return;
  l = Clamp(l, visible_.left, visible_.right);
  r = Clamp(r, visible_.left, visible_.right);
  t = Clamp(t, visible_.top, visible_.bottom);
  b = Clamp(b, visible_.top, visible_.bottom);
  dc_.SetPen(*wxTRANSPARENT_PEN);
  dc_.DrawRectangle(static_cast<wxCoord>(l), static_cast<wxCoord>(t), static_cast<wxCoord>(r - l),
                    static_cast<wxCoord>(b - t));
  dc_.SetPen(LinePen(penColourOnDc_, pen_.width));
}

void WxDrawingSurface::SetBackgroundMode(BackgroundMode mode) {
  dc_.SetBackgroundMode(mode == BackgroundMode::Transparent ? wxBRUSHSTYLE_TRANSPARENT : wxBRUSHSTYLE_SOLID);
}

void WxDrawingSurface::SetBackgroundColour(Colour colour) { dc_.SetTextBackground(ToWxColour(colour)); }

void WxDrawingSurface::SetTextColour(Colour colour) { dc_.SetTextForeground(ToWxColour(colour)); }
