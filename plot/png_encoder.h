// A PNG file from 8-bit RGB pixels, for a toolkit built without libpng (the
// Windows build's wxWidgets): rows filtered by their difference to the row
// above, then deflated with the fixed codes and runs of equal bytes. A plot is
// mostly rows like the one above and runs of one colour, so this stays small
// without a general compressor.
#pragma once

#include <string>

// `rgb` holds height rows of width pixels, three bytes each, top row first.
// Returns the file's bytes.
std::string EncodePng(int width, int height, const unsigned char* rgb);
