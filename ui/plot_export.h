// Saves a picture drawn through a DrawingSurface as PNG or SVG, the format
// chosen by the file name's extension, so that an export draws exactly what
// the window does (the drawing itself: plot/picture_export.h).
#pragma once

#include <string>

#include "plot/picture_export.h"

// Draws `painter` at width x height into `path` (.png or .svg, any case).
// Returns an empty text on success, else a message for the user.
std::string ExportPicture(const std::string& path, int width, int height, const SurfacePainter& painter);
