// Clipping of series segments to fixed ranges.
#include <cmath>

#include "plot/xy_plot.h"

namespace {

constexpr double kTolerance = 1e-200;

// All bounds included, whichever way round a and b are.
bool Between(double c, double a, double b) { return b > a ? (a <= c && c <= b) : (b <= c && c <= a); }

}  // namespace

int CXYPlot::CrossAtXHorizontal(double v) {
  crossX = v;
  crossY = prevY;
  return yMin <= prevY && prevY <= yMax && Between(v, prevX, curX);
}

int CXYPlot::CrossAtYVertical(double v) {
  crossX = prevX;
  crossY = v;
  return xMin <= prevX && prevX <= xMax && Between(v, prevY, curY);
}

int CXYPlot::CrossAtXSloped(double v) {
  crossX = v;
  crossY = prevY + (v - prevX) * slope;
  return yMin <= crossY && crossY <= yMax && Between(crossY, prevY, curY);
}

int CXYPlot::CrossAtYSloped(double v) {
  crossX = prevX + (v - prevY) / slope;
  crossY = v;
  return xMin <= crossX && crossX <= xMax && Between(crossX, prevX, curX);
}

int CXYPlot::NoCrossing(double) { return 0; }

int CXYPlot::ClipSegment(int lines) {
  if (!lines) {
    pixelX = XToPixel(curX);
    pixelY = YToPixel(curY);
    curInside = xMin <= curX && curX <= xMax && yMin <= curY && curY <= yMax;
    return curInside;
  }

  const double dx = curX - prevX;
  const double dy = curY - prevY;
  const bool flatX = std::fabs(dx) <= kTolerance;
  const bool flatY = std::fabs(dy) <= kTolerance;
  slope = dx;
  if (flatX && flatY) {  // zero length: ignored, previous point kept
    crossAtX = nullptr;
    crossAtY = nullptr;
    return 0;
  }
  if (flatX) {
    crossAtX = &CXYPlot::NoCrossing;
    crossAtY = &CXYPlot::CrossAtYVertical;
  } else if (flatY) {
    crossAtX = &CXYPlot::CrossAtXHorizontal;
    crossAtY = &CXYPlot::NoCrossing;
  } else {
    crossAtX = &CXYPlot::CrossAtXSloped;
    crossAtY = &CXYPlot::CrossAtYSloped;
    slope = dy / dx;
  }

  curInside = xMin <= curX && curX <= xMax && yMin <= curY && curY <= yMax;
  if (curInside) {
    pixelX = XToPixel(curX);
    pixelY = YToPixel(curY);
  }

  int result = 0;
  if (prevInside && curInside) {
    result = 1;
  } else {
    struct Edge {
      CrossingTest test;
      double value;
    };
    const Edge edges[4] = {{crossAtY, yMin}, {crossAtY, yMax}, {crossAtX, xMin}, {crossAtX, xMax}};
    bool movedToEntry = false;
    for (const Edge& edge : edges) {
      if (!(this->*edge.test)(edge.value)) continue;
      const int x = XToPixel(crossX);
      const int y = YToPixel(crossY);
      if (prevInside) {  // leaving: draw to the exit point
        pixelX = x;
        pixelY = y;
        result = 1;
        break;
      }
      if (curInside) {  // entering: draw from the entry point
        dc->MoveTo(x, y);
        result = 1;
        break;
      }
      if (!movedToEntry) {  // both outside: first crossing starts the visible part
        dc->MoveTo(x, y);
        movedToEntry = true;
        continue;
      }
      pixelX = x;
      pixelY = y;
      result = 1;
      break;
    }
  }
  prevX = curX;
  prevY = curY;
  prevInside = curInside;
  return result;
}
