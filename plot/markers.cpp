#include "plot/markers.h"

#include <cstdint>

#include "plot/device_coordinate.h"

int g_markerUnit = 1;

namespace {
// Points near the int limits come from saturated mappings; marker corners must
// saturate with them rather than overflow.
int At(int centre, std::int64_t units) { return AddCoordinates(centre, units * g_markerUnit); }
int At(int centre, std::int64_t units, int pixels) {
  return AddCoordinates(centre, units * g_markerUnit + pixels);
}
}  // namespace

void MarkPixel(DrawingSurface* dc, int x, int y) { dc->SetPixel(x, y, MakeColour(0, 0, 0)); }

void MarkCircle(DrawingSurface* dc, int x, int y) {
  dc->Ellipse(At(x, -2), At(y, -2), At(x, 2, 1), At(y, 2, 1));
}

void MarkSquare(DrawingSurface* dc, int x, int y) {
  dc->Rectangle(At(x, -1), At(y, -1), At(x, 1, 1), At(y, 1, 1));
}

void MarkDiamond(DrawingSurface* dc, int x, int y) {
  dc->MoveTo(At(x, -2), y);
  dc->LineTo(x, At(y, -2));
  dc->LineTo(At(x, 2), y);
  dc->LineTo(x, At(y, 2));
  dc->LineTo(At(x, -2), y);
  dc->MoveTo(x, y);
}

void MarkCross(DrawingSurface* dc, int x, int y) {
  dc->MoveTo(At(x, -2), At(y, -2));
  dc->LineTo(At(x, 2, 1), At(y, 2, 1));
  dc->MoveTo(At(x, -2), At(y, 2));
  dc->LineTo(At(x, 2, 1), At(y, -2, -1));
}

MarkerRoutine MarkerForStyle(int style) {
  static const MarkerRoutine kByShape[8] = {MarkPixel, MarkCircle, MarkSquare, MarkDiamond,
                                            MarkCross, MarkPixel,  MarkPixel,  MarkPixel};
  return kByShape[style & 7];
}
