// The application icon's PNG files, built into the program (the source is
// generated from packaging/icons/ivra-<size>.png), smallest size first.
#pragma once

#include <cstddef>

struct AppIconPng {
  int size;  // width and height in pixels
  const unsigned char* data;
  std::size_t length;
};

extern const AppIconPng kAppIconPngs[];
extern const std::size_t kAppIconPngCount;
