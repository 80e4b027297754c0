#include "plot/markers.h"

#include <cstdint>

#include "plot/device_coordinate.h"

namespace {
// Points near the int limits come from saturated mappings; marker corners must
// saturate with them rather than overflow.
int At(int centre, std::int64_t units, int unit, int pixels = 0) {
  return AddCoordinates(centre, units * unit + pixels);
}
}  // namespace

void MarkPixel(DrawingSurface* dc, int x, int y, int) { dc->SetPixel(x, y, MakeColour(0, 0, 0)); }

void MarkCircle(DrawingSurface* dc, int x, int y, int u) {
  dc->Ellipse(At(x, -2, u), At(y, -2, u), At(x, 2, u, 1), At(y, 2, u, 1));
}

void MarkSquare(DrawingSurface* dc, int x, int y, int u) {
  dc->Rectangle(At(x, -1, u), At(y, -1, u), At(x, 1, u, 1), At(y, 1, u, 1));
}

void MarkDiamond(DrawingSurface* dc, int x, int y, int u) {
  dc->MoveTo(At(x, -2, u), y);
  dc->LineTo(x, At(y, -2, u));
  dc->LineTo(At(x, 2, u), y);
  dc->LineTo(x, At(y, 2, u));
  dc->LineTo(At(x, -2, u), y);
  dc->MoveTo(x, y);
}

void MarkCross(DrawingSurface* dc, int x, int y, int u) {
  dc->MoveTo(At(x, -2, u), At(y, -2, u));
  dc->LineTo(At(x, 2, u, 1), At(y, 2, u, 1));
  dc->MoveTo(At(x, -2, u), At(y, 2, u));
  dc->LineTo(At(x, 2, u, 1), At(y, -2, u, -1));
}

MarkerRoutine MarkerForStyle(int style) {
  static const MarkerRoutine kByShape[8] = {MarkPixel, MarkCircle, MarkSquare, MarkDiamond,
                                            MarkCross, MarkPixel,  MarkPixel,  MarkPixel};
  return kByShape[style & 7];
}
