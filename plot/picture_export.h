// A plot as the bytes of a picture file, PNG or SVG: one export for the
// desktop program's Export Plot and for ivra-plot, so that both write the same
// file for the same painter and size.
//
// PNG: the painter draws on a WxDrawingSurface over a white wxImage (wxWidgets'
// graphics context, no display needed), encoded by wxWidgets' libpng handler
// or, where wxWidgets was built without libpng (the Windows build), by
// png_encoder.h. SVG: the painter draws on an SvgSurface.
#pragma once

#include <wx/font.h>

#include <functional>
#include <string>

#include "plot/drawing_surface.h"

enum class PictureFormat { Unknown, Png, Svg };

// The format a file name's extension picks: .png or .svg, in any case.
PictureFormat PictureFormatOf(const std::string& path);

// A picture's width and height are held to 1..kLargestPictureSide pixels.
constexpr int kLargestPictureSide = 10000;

using SurfacePainter = std::function<void(DrawingSurface& surface, const SurfaceRect& client)>;

// The file's bytes of `painter` drawn at width x height; empty for an unknown
// format or when the PNG could not be encoded. `startFont` is the font a PNG's
// surface starts with, which text in the default font (height 0) uses; without
// one such text takes the wx surface's own plain font.
std::string DrawPicture(PictureFormat format, int width, int height, const SurfacePainter& painter,
                        const wxFont& startFont = wxNullFont);
