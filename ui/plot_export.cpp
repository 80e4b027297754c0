#include "ui/plot_export.h"

#include <wx/defs.h>
// After defs.h, which tells dcgraph.h that graphics contexts are built in.
#include <wx/dcgraph.h>
#include <wx/graphics.h>
#include <wx/ffile.h>
#include <wx/image.h>
#include <wx/log.h>

#include <algorithm>
#include <cctype>

#include "plot/png_encoder.h"
#include "plot/svg_surface.h"
#include "plot/wx_drawing_surface.h"

namespace {

std::string Extension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  std::string extension = dot == std::string::npos ? std::string() : path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

std::string CannotWrite(const std::string& path) {
  return "Can't write the picture " + path + ". Check that the folder exists and that you may write there.";
}

// wxFFile, so that a path in UTF-8 opens on Windows as well.
std::string WriteBytes(const std::string& path, const std::string& bytes) {
  wxLogNull quiet;  // the message below says it in the user's words
  wxFFile file(wxString::FromUTF8(path.c_str()), "wb");
  if (!file.IsOpened()) return CannotWrite(path);
  const bool written = file.Write(bytes.data(), bytes.size()) == bytes.size();
  return file.Close() && written ? std::string() : CannotWrite(path);
}

}  // namespace

std::string ExportPicture(const std::string& path, int width, int height, const SurfacePainter& painter) {
  const std::string extension = Extension(path);
  if (extension != "png" && extension != "svg") {
    return "The picture " + path + " must end in .png or .svg, which chooses its format.";
  }
  width = std::clamp(width, 1, 10000);
  height = std::clamp(height, 1, 10000);
  if (extension == "svg") {
    SvgSurface surface(width, height);
    painter(surface, SurfaceRect{0, 0, width, height});
    return WriteBytes(path, surface.Document());
  }
  wxImage image(width, height);
  image.SetRGB(wxRect(0, 0, width, height), 255, 255, 255);
  {
    // The context writes back into the image when it is destroyed.
    wxGCDC dc(wxGraphicsContext::Create(image));
    // A window's DC starts with the GUI font; an image's with none. Its size,
    // in the Swiss family: GDI+ (Windows' image context) draws nothing in a
    // GUI font that is not TrueType, as under Wine.
    dc.SetFont(wxFont(wxFontInfo(wxNORMAL_FONT->GetFractionalPointSize()).Family(wxFONTFAMILY_SWISS)));
    WxDrawingSurface surface(dc);
    painter(surface, SurfaceRect{0, 0, width, height});
  }
#if wxUSE_LIBPNG
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  wxLogNull quiet;
  return image.SaveFile(wxString::FromUTF8(path.c_str()), wxBITMAP_TYPE_PNG) ? std::string() : CannotWrite(path);
#else
  // The Windows build's wxWidgets has no libpng.
  return WriteBytes(path, EncodePng(width, height, image.GetData()));
#endif
}
