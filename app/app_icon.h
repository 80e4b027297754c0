// The application icon, drawn in code: a small chart with a rising series of
// square markers, the program's own picture of a measurement.
#pragma once

#include <wx/icon.h>

// The icon at `size` x `size` pixels (32 for the About box and the frame).
wxIcon MakeAppIcon(int size = 32);
