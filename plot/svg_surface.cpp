#include "plot/svg_surface.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

std::string ColourText(Colour colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", ColourRed(colour), ColourGreen(colour), ColourBlue(colour));
  return text;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string result = text;
  if (result.size() > 2 && result.compare(result.size() - 2, 2, ".0") == 0) {
    result.resize(result.size() - 2);
  }
  return result;
}

// Text content with the XML specials escaped and control characters dropped
// (XML 1.0 allows none but tab, newline and carriage return).
std::string XmlText(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') escaped += c;
    }
  }
  return escaped;
}

std::string FamilyText(const FontDescription& font) {
  std::string family;
  if (!font.face.empty()) family = "'" + XmlText(font.face) + "', ";
  family += (font.pitchAndFamily & 0xF0) == kFamilyRoman ? "serif" : "sans-serif";
  return family;
}

}  // namespace

SvgSurface::SvgSurface(int width, int height) : width_(std::max(1, width)), height_(std::max(1, height)) {}

int SvgSurface::FontHeight() const { return font_.height == 0 ? kDefaultFontHeight : std::abs(font_.height); }

void SvgSurface::EndPath() {
  if (path_.empty()) return;
  body_ += "<path fill=\"none\" stroke=\"" + ColourText(pen_.colour) + "\" stroke-width=\"" +
           Number(std::max(1, pen_.width)) + "\" d=\"" + path_ + "\"/>\n";
  path_.clear();
}

void SvgSurface::MoveTo(int x, int y) {
  currentX_ = x;
  currentY_ = y;
}

void SvgSurface::LineTo(int x, int y) {
  const int fromX = currentX_;
  const int fromY = currentY_;
  currentX_ = x;
  currentY_ = y;
  if (fromX == x && fromY == y) return;
  // The stroke covers the pixels from the start up to, not including, the end:
  // along the line it runs from the start pixel's near edge to the end pixel's.
  const double dx = x - fromX;
  const double dy = y - fromY;
  const double length = std::max(std::abs(dx), std::abs(dy));
  const double startX = fromX + 0.5 - 0.5 * dx / length;
  const double startY = fromY + 0.5 - 0.5 * dy / length;
  const double endX = x + 0.5 - 0.5 * dx / length;
  const double endY = y + 0.5 - 0.5 * dy / length;
  path_ += "M" + Number(startX) + " " + Number(startY) + "L" + Number(endX) + " " + Number(endY);
}

void SvgSurface::FillRect(int left, int top, int right, int bottom, Colour colour) {
  if (right <= left || bottom <= top) return;
  body_ += "<rect x=\"" + std::to_string(left) + "\" y=\"" + std::to_string(top) + "\" width=\"" +
           std::to_string(right - left) + "\" height=\"" + std::to_string(bottom - top) + "\" fill=\"" +
           ColourText(colour) + "\"/>\n";
}

void SvgSurface::Rectangle(int left, int top, int right, int bottom) {
  EndPath();
  if (right - left < 2 || bottom - top < 2) {
    FillRect(left, top, right, bottom, pen_.colour);
    return;
  }
  const double inset = std::max(1, pen_.width) / 2.0;
  body_ += "<rect x=\"" + Number(left + inset) + "\" y=\"" + Number(top + inset) + "\" width=\"" +
           Number(right - left - 2 * inset) + "\" height=\"" + Number(bottom - top - 2 * inset) + "\" fill=\"" +
           ColourText(brush_.colour) + "\" stroke=\"" + ColourText(pen_.colour) + "\" stroke-width=\"" +
           Number(std::max(1, pen_.width)) + "\"/>\n";
}

void SvgSurface::Ellipse(int left, int top, int right, int bottom) {
  EndPath();
  if (right <= left || bottom <= top) return;
  body_ += "<ellipse cx=\"" + Number((left + right) / 2.0) + "\" cy=\"" + Number((top + bottom) / 2.0) + "\" rx=\"" +
           Number((right - left - 1) / 2.0) + "\" ry=\"" + Number((bottom - top - 1) / 2.0) + "\" fill=\"" +
           ColourText(brush_.colour) + "\" stroke=\"" + ColourText(pen_.colour) + "\"/>\n";
}

void SvgSurface::SetPixel(int x, int y, Colour colour) {
  EndPath();
  FillRect(x, y, x + 1, y + 1, colour);
}

void SvgSurface::DrawTextAt(int x, int y, const std::string& text) {
  EndPath();
  if (text.empty()) return;
  const int height = FontHeight();
  const TextExtent extent = GetTextExtent(text);
  std::string rotation;
  if (font_.escapement != 0) {
    rotation = " transform=\"rotate(" + Number(-font_.escapement / 10.0) + " " + std::to_string(x) + " " +
               std::to_string(y) + ")\"";
  }
  if (mode_ == BackgroundMode::Opaque) {
    body_ += "<g" + rotation + ">";
    rotation.clear();
    FillRect(x, y, x + extent.cx, y + extent.cy, backgroundColour_);
  }
  // The baseline sits about a fifth of the cell above its bottom.
  body_ += "<text x=\"" + std::to_string(x) + "\" y=\"" + Number(y + height * 0.8) + "\" font-family=\"" +
           FamilyText(font_) + "\" font-size=\"" + Number(height * 0.85) + "\" fill=\"" + ColourText(textColour_) +
           "\"" + rotation + ">" + XmlText(text) + "</text>\n";
  if (mode_ == BackgroundMode::Opaque) body_ += "</g>\n";
}

void SvgSurface::DrawText(const SurfaceRect& rect, const std::string& text, unsigned format) {
  const TextExtent extent = GetTextExtent(text);
  int x = rect.left;
  int y = rect.top;
  if (format & kTextCentre) x = (rect.left + rect.right - extent.cx) / 2;
  if (format & kTextVCentre) y = (rect.top + rect.bottom - extent.cy) / 2;
  DrawTextAt(x, y, text);
}

TextExtent SvgSurface::GetTextExtent(const std::string& text) {
  // One character per UTF-8 lead byte.
  int characters = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
  }
  const int height = FontHeight();
  return TextExtent{static_cast<int>(characters * height * kCharWidthPerHeight + 0.5), height};
}

FontDescription SvgSurface::SelectFont(const FontDescription& font) {
  FontDescription previous = font_;
  font_ = font;
  return previous;
}

PenDescription SvgSurface::SelectPen(const PenDescription& pen) {
  EndPath();
  PenDescription previous = pen_;
  pen_ = pen;
  return previous;
}

BrushDescription SvgSurface::SelectBrush(const BrushDescription& brush) {
  BrushDescription previous = brush_;
  brush_ = brush;
  return previous;
}

void SvgSurface::PaintRect(const SurfaceRect& rect) {
  EndPath();
  FillRect(rect.left, rect.top, rect.right, rect.bottom, brush_.colour);
}

void SvgSurface::SetBackgroundMode(BackgroundMode mode) { mode_ = mode; }
void SvgSurface::SetBackgroundColour(Colour colour) { backgroundColour_ = colour; }
void SvgSurface::SetTextColour(Colour colour) { textColour_ = colour; }

std::string SvgSurface::Document() {
  EndPath();
  const std::string width = std::to_string(width_);
  const std::string height = std::to_string(height_);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" "
         "width=\"" +
         width + "\" height=\"" + height + "\" viewBox=\"0 0 " + width + " " + height +
         "\" shape-rendering=\"crispEdges\">\n" + body_ + "</svg>\n";
}
