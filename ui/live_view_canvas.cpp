#include "ui/live_view_canvas.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>

wxBEGIN_EVENT_TABLE(CLiveViewCanvas, wxWindow)
  EVT_PAINT(CLiveViewCanvas::OnPaint)
wxEND_EVENT_TABLE()

CLiveViewCanvas::CLiveViewCanvas(wxWindow* parent, Painter painter)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxFULL_REPAINT_ON_RESIZE | wxBORDER_NONE),
      m_painter(std::move(painter)) {
  // The paint handler erases the whole buffer itself.
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW));
}

void CLiveViewCanvas::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  dc.SetBackground(wxBrush(GetBackgroundColour()));
  dc.Clear();
  // The view's "default font" is the window's own.
  dc.SetFont(GetFont());
  dc.SetTextForeground(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT));
  if (m_painter) m_painter(dc);
}
