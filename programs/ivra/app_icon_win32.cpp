// The application icon on Windows: the "IVRA" icon resource (ivra.rc), made
// from the same PNG renders as the desktop icons, so Explorer, the taskbar and
// the window show one picture without decoding PNG at run time.
#include "programs/ivra/app_icon.h"

#include <windows.h>

namespace {

constexpr const char* kIconResource = "IVRA";

}  // namespace

wxIcon MakeAppIcon(int size) {
  // Windows picks the best of the resource's sizes and scales only if none fits.
  return wxIcon(kIconResource, wxBITMAP_TYPE_ICO_RESOURCE, size, size);
}

wxIconBundle MakeAppIcons() { return wxIconBundle(kIconResource, GetModuleHandle(nullptr)); }
