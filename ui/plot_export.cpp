#include "ui/plot_export.h"

#include <wx/ffile.h>
#include <wx/font.h>
#include <wx/log.h>

namespace {

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
  const PictureFormat format = PictureFormatOf(path);
  if (format == PictureFormat::Unknown) {
    return "The picture " + path + " must end in .png or .svg, which chooses its format.";
  }
  // A window's DC starts with the GUI font; an image's with none. Its size, in
  // the Swiss family: GDI+ (Windows' image context) draws nothing in a GUI font
  // that is not TrueType, as under Wine.
  const wxFont font(wxFontInfo(wxNORMAL_FONT->GetFractionalPointSize()).Family(wxFONTFAMILY_SWISS));
  const std::string bytes = DrawPicture(format, width, height, painter, font);
  return bytes.empty() ? CannotWrite(path) : WriteBytes(path, bytes);
}
