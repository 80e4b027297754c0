#include "programs/ivra/app_icon.h"

#include <wx/bitmap.h>
#include <wx/image.h>
#include <wx/mstream.h>

#include "programs/ivra/app_icon_data.h"

namespace {

wxImage DecodePng(const AppIconPng& png) {
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  wxMemoryInputStream stream(png.data, png.length);
  return wxImage(stream, wxBITMAP_TYPE_PNG);
}

wxIcon ToIcon(const wxImage& image) {
  wxIcon icon;
  icon.CopyFromBitmap(wxBitmap(image));
  return icon;
}

}  // namespace

wxIcon MakeAppIcon(int size) {
  const AppIconPng* source = &kAppIconPngs[kAppIconPngCount - 1];
  for (std::size_t i = 0; i < kAppIconPngCount; ++i) {
    if (kAppIconPngs[i].size >= size) {
      source = &kAppIconPngs[i];
      break;
    }
  }
  wxImage image = DecodePng(*source);
  if (image.IsOk() && source->size != size) image.Rescale(size, size, wxIMAGE_QUALITY_HIGH);
  return ToIcon(image);
}

wxIconBundle MakeAppIcons() {
  wxIconBundle bundle;
  for (std::size_t i = 0; i < kAppIconPngCount; ++i) bundle.AddIcon(ToIcon(DecodePng(kAppIconPngs[i])));
  return bundle;
}
