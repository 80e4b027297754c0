// The application icon: a small chart with a rising series of square markers.
// The artwork is packaging/icons/ivra.svg; the program carries its PNG renders,
// so the window, the About box and the desktop menu show the same picture.
#pragma once

#include <wx/icon.h>
#include <wx/iconbndl.h>

// The icon at `size` x `size` pixels (32 for the About box). A size without a
// render of its own is scaled down from the next larger one.
wxIcon MakeAppIcon(int size = 32);

// Every rendered size, for the frame: the window manager picks what it needs.
wxIconBundle MakeAppIcons();
