// Marker routines: each draws one marker centred on a device point, sized by
// the unit it is given (u below; the plot passes its drawing scale, 1 or 4).
// Far corners of rectangles and ellipses are exclusive.
#pragma once

#include "plot/xy_plot.h"

// One black pixel, whatever pen is selected and whatever the unit; current
// position unchanged.
void MarkPixel(DrawingSurface* dc, int x, int y, int unit);
// Ellipse (x-2u, y-2u)..(x+2u+1, y+2u+1): 4u+1 across; current position unchanged.
void MarkCircle(DrawingSurface* dc, int x, int y, int unit);
// Rectangle (x-u, y-u)..(x+u+1, y+u+1): 2u+1 across; current position unchanged.
void MarkSquare(DrawingSurface* dc, int x, int y, int unit);
// Diamond with corners 2u from the centre; leaves the current position at (x, y).
void MarkDiamond(DrawingSurface* dc, int x, int y, int unit);
// Diagonal cross over 4u+1 pixels; leaves the current position at the end of its
// second stroke, (x+2u+1, y-2u-1).
void MarkCross(DrawingSurface* dc, int x, int y, int unit);

// The routine for a series style: (style & 7) 0 pixel, 1 circle, 2 square,
// 3 diamond, 4 cross, 5..7 pixel.
MarkerRoutine MarkerForStyle(int style);
