#include "app/app_icon.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>

#include <algorithm>
#include <iterator>

wxIcon MakeAppIcon(int size) {
  wxBitmap bitmap(size, size, 24);
  {
    wxMemoryDC dc(bitmap);
    const auto at = [size](int unit) { return unit * size / 32; };
    // Panel with a dark rim.
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetPen(wxPen(wxColour(0, 64, 96), std::max(1, at(2))));
    dc.SetBrush(wxBrush(wxColour(232, 244, 250)));
    dc.DrawRectangle(0, 0, size, size);
    // Axes.
    dc.SetPen(wxPen(*wxBLACK, 1));
    dc.DrawLine(at(6), at(4), at(6), at(26));
    dc.DrawLine(at(6), at(26), at(28), at(26));
    // A rising, settling series with square markers.
    const wxPoint points[] = {{at(8), at(23)},  {at(12), at(17)}, {at(16), at(13)},
                              {at(20), at(11)}, {at(24), at(10)}, {at(27), at(9)}};
    dc.SetPen(wxPen(wxColour(200, 0, 0), std::max(1, at(2))));
    dc.DrawLines(static_cast<int>(std::size(points)), points);
    dc.SetPen(wxPen(wxColour(0, 0, 160), 1));
    dc.SetBrush(wxBrush(wxColour(0, 0, 160)));
    const int half = std::max(1, at(1));
    for (const wxPoint& p : points) dc.DrawRectangle(p.x - half, p.y - half, 2 * half + 1, 2 * half + 1);
  }
  wxIcon icon;
  icon.CopyFromBitmap(bitmap);
  return icon;
}
