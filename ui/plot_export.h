// Saves a picture drawn through a DrawingSurface as PNG or SVG, the format
// chosen by the file name's extension, so that an export draws exactly what
// the window does.
#pragma once

#include <functional>
#include <string>

#include "plot/drawing_surface.h"

using SurfacePainter = std::function<void(DrawingSurface& surface, const SurfaceRect& client)>;

// Draws `painter` at width x height into `path` (.png or .svg, any case).
// Returns an empty text on success, else a message for the user.
std::string ExportPicture(const std::string& path, int width, int height, const SurfacePainter& painter);
