// What the plot library offers, in one place:
//  - DrawingSurface: the drawing calls the engine makes, with a device
//    context's rules (drawing_surface.h);
//  - CXYPlot: an XY chart of up to ten series in the caller's own arrays, with
//    ticks, labels and axis titles (xy_plot.h);
//  - RunStore: every sample of a run, compact, with min/max summaries, and
//    DrawRunPlot, a span of it drawn as min/max columns (run_store.h,
//    run_plot.h);
//  - surfaces without a toolkit: RecordingSurface, which logs every call for
//    tests (recording_surface.h), and SvgSurface (svg_surface.h); EncodePng,
//    a PNG file from RGB pixels (png_encoder.h).
// All of this is ivra_plot and needs nothing else. ivra_plot_wx adds, on
// wxWidgets: WxDrawingSurface on a wxDC (wx_drawing_surface.h) and
// DrawPicture, a plot as the bytes of a PNG or SVG file (picture_export.h);
// include those directly.
#pragma once

#include "plot/drawing_surface.h"
#include "plot/png_encoder.h"
#include "plot/recording_surface.h"
#include "plot/run_plot.h"
#include "plot/run_store.h"
#include "plot/svg_surface.h"
#include "plot/xy_plot.h"
