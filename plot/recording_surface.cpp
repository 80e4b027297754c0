#include "plot/recording_surface.h"

#include <cstdio>

namespace {

std::string Join(const char* name, std::initializer_list<int> values) {
  std::string text = name;
  text += '(';
  bool first = true;
  for (int value : values) {
    if (!first) text += ',';
    text += std::to_string(value);
    first = false;
  }
  return text;
}

std::string HexColour(Colour colour) {
  char text[16];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", ColourRed(colour), ColourGreen(colour), ColourBlue(colour));
  return text;
}

}  // namespace

std::string SurfaceCall::ToString() const {
  switch (op) {
    case SurfaceOp::MoveTo: return Join("MoveTo", {x, y}) + ")";
    case SurfaceOp::LineTo: return Join("LineTo", {x, y}) + ")";
    case SurfaceOp::Rectangle: return Join("Rectangle", {x, y, right, bottom}) + ")";
    case SurfaceOp::Ellipse: return Join("Ellipse", {x, y, right, bottom}) + ")";
    case SurfaceOp::PaintRect: return Join("PaintRect", {x, y, right, bottom}) + ")";
    case SurfaceOp::SetPixel: return Join("SetPixel", {x, y}) + "," + HexColour(colour) + ")";
    case SurfaceOp::DrawTextAt: return Join("DrawTextAt", {x, y}) + ",\"" + text + "\")";
    case SurfaceOp::DrawText:
      return Join("DrawText", {x, y, right, bottom}) + ",\"" + text + "\"," + std::to_string(format) + ")";
    case SurfaceOp::GetTextExtent: return "GetTextExtent(\"" + text + "\")";
    case SurfaceOp::SelectFont: return Join("SelectFont", {font.height, font.escapement}) + "," + font.face + ")";
    case SurfaceOp::SelectPen: return "SelectPen(" + HexColour(pen.colour) + "," + std::to_string(pen.width) + ")";
    case SurfaceOp::SelectBrush: return "SelectBrush(" + HexColour(brush.colour) + ")";
    case SurfaceOp::SetBackgroundMode:
      return mode == BackgroundMode::Transparent ? "SetBackgroundMode(Transparent)" : "SetBackgroundMode(Opaque)";
    case SurfaceOp::SetBackgroundColour: return "SetBackgroundColour(" + HexColour(colour) + ")";
    case SurfaceOp::SetTextColour: return "SetTextColour(" + HexColour(colour) + ")";
  }
  return "?";
}

SurfaceCall& RecordingSurface::Log(SurfaceOp op) {
  calls_.emplace_back();
  calls_.back().op = op;
  return calls_.back();
}

void RecordingSurface::MoveTo(int x, int y) {
  SurfaceCall& call = Log(SurfaceOp::MoveTo);
  call.x = currentX_ = x;
  call.y = currentY_ = y;
}

void RecordingSurface::LineTo(int x, int y) {
  SurfaceCall& call = Log(SurfaceOp::LineTo);
  call.pen = pen_;
  call.x = currentX_ = x;
  call.y = currentY_ = y;
}

void RecordingSurface::LogShape(SurfaceOp op, int left, int top, int right, int bottom) {
  SurfaceCall& call = Log(op);
  call.x = left;
  call.y = top;
  call.right = right;
  call.bottom = bottom;
  call.pen = pen_;
  call.brush = brush_;
}

void RecordingSurface::Rectangle(int left, int top, int right, int bottom) {
  LogShape(SurfaceOp::Rectangle, left, top, right, bottom);
}

void RecordingSurface::Ellipse(int left, int top, int right, int bottom) {
  LogShape(SurfaceOp::Ellipse, left, top, right, bottom);
}

void RecordingSurface::SetPixel(int x, int y, Colour colour) {
  SurfaceCall& call = Log(SurfaceOp::SetPixel);
  call.x = x;
  call.y = y;
  call.colour = colour;
}

void RecordingSurface::DrawTextAt(int x, int y, const std::string& text) {
  SurfaceCall& call = Log(SurfaceOp::DrawTextAt);
  call.x = x;
  call.y = y;
  call.text = text;
  call.font = font_;
  call.colour = textColour_;
  call.mode = mode_;
}

void RecordingSurface::DrawText(const SurfaceRect& rect, const std::string& text, unsigned format) {
  SurfaceCall& call = Log(SurfaceOp::DrawText);
  call.x = rect.left;
  call.y = rect.top;
  call.right = rect.right;
  call.bottom = rect.bottom;
  call.text = text;
  call.format = format;
  call.font = font_;
  call.colour = textColour_;
  call.mode = mode_;
}

TextExtent RecordingSurface::MeasureText(const FontDescription& font, const std::string& text) {
  int height = font.height < 0 ? -font.height : font.height;
  if (height == 0) height = kDefaultFontHeight;
  return TextExtent{static_cast<int>(text.size()) * ((height + 1) / 2), height};
}

TextExtent RecordingSurface::GetTextExtent(const std::string& text) {
  SurfaceCall& call = Log(SurfaceOp::GetTextExtent);
  call.text = text;
  call.font = font_;
  return MeasureText(font_, text);
}

FontDescription RecordingSurface::SelectFont(const FontDescription& font) {
  Log(SurfaceOp::SelectFont).font = font;
  FontDescription previous = font_;
  font_ = font;
  return previous;
}

PenDescription RecordingSurface::SelectPen(const PenDescription& pen) {
  Log(SurfaceOp::SelectPen).pen = pen;
  const PenDescription previous = pen_;
  pen_ = pen;
  return previous;
}

BrushDescription RecordingSurface::SelectBrush(const BrushDescription& brush) {
  Log(SurfaceOp::SelectBrush).brush = brush;
  const BrushDescription previous = brush_;
  brush_ = brush;
  return previous;
}

void RecordingSurface::PaintRect(const SurfaceRect& rect) {
  SurfaceCall& call = Log(SurfaceOp::PaintRect);
  call.x = rect.left;
  call.y = rect.top;
  call.right = rect.right;
  call.bottom = rect.bottom;
  call.brush = brush_;
}

void RecordingSurface::SetBackgroundMode(BackgroundMode mode) { Log(SurfaceOp::SetBackgroundMode).mode = mode_ = mode; }

void RecordingSurface::SetBackgroundColour(Colour colour) {
  Log(SurfaceOp::SetBackgroundColour).colour = backgroundColour_ = colour;
}

void RecordingSurface::SetTextColour(Colour colour) { Log(SurfaceOp::SetTextColour).colour = textColour_ = colour; }

std::vector<SurfaceCall> RecordingSurface::CallsOf(SurfaceOp op) const {
  std::vector<SurfaceCall> found;
  for (const SurfaceCall& call : calls_) {
    if (call.op == op) found.push_back(call);
  }
  return found;
}

std::vector<std::string> RecordingSurface::DrawingLog() const {
  std::vector<std::string> log;
  for (const SurfaceCall& call : calls_) {
    if (call.op != SurfaceOp::GetTextExtent) log.push_back(call.ToString());
  }
  return log;
}
