// The window the view paints into: it fills the frame's client area, erases to
// the window colour and hands every paint to the view, double-buffered so that
// the once-per-second redraw does not flicker.
#pragma once

#include <wx/window.h>

class CIvraView;

class CLiveViewCanvas : public wxWindow {
 public:
  CLiveViewCanvas(wxWindow* parent, CIvraView* view);
  ~CLiveViewCanvas() override;

  // The view is going; later paints draw only the background.
  void DetachView() { m_pView = nullptr; }

 private:
  void OnPaint(wxPaintEvent& event);

  CIvraView* m_pView;

  wxDECLARE_EVENT_TABLE();
};
