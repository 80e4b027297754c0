#include "plot/picture_export.h"

#include <wx/defs.h>
// After defs.h, which tells dcgraph.h that graphics contexts are built in.
#include <wx/dcgraph.h>
#include <wx/graphics.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/mstream.h>

#include <algorithm>
#include <cctype>

#include "plot/png_encoder.h"
#include "plot/svg_surface.h"
#include "plot/wx_drawing_surface.h"

namespace {

std::string PngBytes(const wxImage& image) {
#if wxUSE_LIBPNG
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  wxLogNull quiet;  // a failure shows as no bytes; the caller tells the user
  wxMemoryOutputStream stream;
  if (!image.SaveFile(stream, wxBITMAP_TYPE_PNG)) return std::string();
  std::string bytes(stream.GetLength(), '\0');
  stream.CopyTo(bytes.data(), bytes.size());
  return bytes;
#else
  return EncodePng(image.GetWidth(), image.GetHeight(), image.GetData());
#endif
}

}  // namespace

PictureFormat PictureFormatOf(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  std::string extension = dot == std::string::npos ? std::string() : path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == "png") return PictureFormat::Png;
  if (extension == "svg") return PictureFormat::Svg;
  return PictureFormat::Unknown;
}

std::string DrawPicture(PictureFormat format, int width, int height, const SurfacePainter& painter,
                        const wxFont& startFont) {
  width = std::clamp(width, 1, kLargestPictureSide);
  height = std::clamp(height, 1, kLargestPictureSide);
  const SurfaceRect client{0, 0, width, height};
  if (format == PictureFormat::Svg) {
    SvgSurface surface(width, height);
    painter(surface, client);
    return surface.Document();
  }
  if (format != PictureFormat::Png) return std::string();
  wxImage image(width, height);
  image.SetRGB(wxRect(0, 0, width, height), 255, 255, 255);
  {
    // The context writes back into the image when it is destroyed.
    wxGCDC dc(wxGraphicsContext::Create(image));
    if (startFont.IsOk()) dc.SetFont(startFont);
    WxDrawingSurface surface(dc);
    painter(surface, client);
  }
  return PngBytes(image);
}
