// The window the view paints into: it fills the frame's client area, erases to
// the window colour and hands every paint to its painter, double-buffered so
// that the once-per-second redraw does not flicker.
#pragma once

#include <functional>
#include <utility>

#include <wx/window.h>

class wxDC;

class CLiveViewCanvas : public wxWindow {
 public:
  using Painter = std::function<void(wxDC&)>;

  CLiveViewCanvas(wxWindow* parent, Painter painter);

  // An empty painter leaves only the background: the view that painted is going.
  void SetPainter(Painter painter) { m_painter = std::move(painter); }

 private:
  void OnPaint(wxPaintEvent& event);

  Painter m_painter;

  wxDECLARE_EVENT_TABLE();
};
