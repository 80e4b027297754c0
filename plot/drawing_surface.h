// The drawing operations the plot engine and the live view need of a device
// context, with the platform's rules:
//  - a line ends just before its end point, and moves the current position there;
//  - rectangle and ellipse take the top-left corner and an exclusive bottom-right
//    corner; the outline is drawn in the selected pen, the inside filled with the
//    selected brush;
//  - Select* returns what was selected before; selecting that again restores it.
// Implementations: RecordingSurface (logs every call, for tests) and
// WxDrawingSurface (draws on a wxDC).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

// 0x00BBGGRR, as the platform gives colours.
using Colour = std::uint32_t;

constexpr Colour MakeColour(unsigned red, unsigned green, unsigned blue) {
  return static_cast<Colour>((red & 0xFFu) | ((green & 0xFFu) << 8) | ((blue & 0xFFu) << 16));
}
constexpr unsigned ColourRed(Colour c) { return c & 0xFFu; }
constexpr unsigned ColourGreen(Colour c) { return (c >> 8) & 0xFFu; }
constexpr unsigned ColourBlue(Colour c) { return (c >> 16) & 0xFFu; }

struct SurfaceRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct TextExtent {
  int cx = 0;
  int cy = 0;
};

// Font families, as the platform's pitch-and-family byte gives them.
constexpr int kFamilyRoman = 0x10;
constexpr int kFamilySwiss = 0x20;

// A font description with the fields the plot and the view set; height is the
// cell height in device units (0 with an empty face: the surface's default font).
struct FontDescription {
  int height = 0;
  int escapement = 0;  // tenths of a degree, counter-clockwise; 900 runs upward
  int weight = 400;
  int outPrecision = 0;
  int clipPrecision = 0;
  int quality = 0;
  int pitchAndFamily = 0;
  std::string face;
};

// The draft stroke fonts the plot and the live view use: normal weight, stroke
// output and clip precision, draft quality.
inline FontDescription StrokeFont(int height, int escapement, int pitchAndFamily, std::string face) {
  FontDescription font;
  font.height = height;
  font.escapement = escapement;
  font.weight = 400;
  font.outPrecision = 3;
  font.clipPrecision = 2;
  font.quality = 1;
  font.pitchAndFamily = pitchAndFamily;
  font.face = std::move(face);
  return font;
}

struct PenDescription {
  Colour colour = 0;
  int width = 1;
};
struct BrushDescription {
  Colour colour = 0xFFFFFF;
};

enum class BackgroundMode { Opaque, Transparent };

// Format flags of DrawText, with the platform's values.
constexpr unsigned kTextLeft = 0x00;
constexpr unsigned kTextCentre = 0x01;
constexpr unsigned kTextVCentre = 0x04;
constexpr unsigned kTextSingleLine = 0x20;

class DrawingSurface {
 public:
  virtual ~DrawingSurface() = default;

  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;
  virtual void Rectangle(int left, int top, int right, int bottom) = 0;
  virtual void Ellipse(int left, int top, int right, int bottom) = 0;
  virtual void SetPixel(int x, int y, Colour colour) = 0;

  // Text with its top-left corner at (x, y), or for an escapement of 900 the
  // text's own top-left reference point with the glyphs running upward.
  // (Not TextOut: <windows.h> turns that name into a macro.)
  virtual void DrawTextAt(int x, int y, const std::string& text) = 0;
  // One line of text in `rect` under the kText* flags (centred horizontally with
  // kTextCentre, vertically with kTextVCentre, else at the rectangle's top-left).
  virtual void DrawText(const SurfaceRect& rect, const std::string& text, unsigned format) = 0;
  // Width along the text and height of `text` in the selected font.
  virtual TextExtent GetTextExtent(const std::string& text) = 0;

  virtual FontDescription SelectFont(const FontDescription& font) = 0;
  virtual PenDescription SelectPen(const PenDescription& pen) = 0;
  virtual BrushDescription SelectBrush(const BrushDescription& brush) = 0;

  // Fills the rectangle (far corner exclusive) with the selected brush, no outline.
  virtual void PaintRect(const SurfaceRect& rect) = 0;

  virtual void SetBackgroundMode(BackgroundMode mode) = 0;
  virtual void SetBackgroundColour(Colour colour) = 0;
  virtual void SetTextColour(Colour colour) = 0;
};
