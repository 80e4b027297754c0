// The rolling history of the last 100 samples.
//
// The five history rows lie one after another in one block of 5 x 256 doubles
// (row r starts 256*r values after row 0); only the first 100 of each row are
// used. Rows are plain arrays in time order from index 0, so the plot can read
// each one directly: index 0 is the oldest retained sample.
#pragma once

#include "instrument/reading.h"

struct SampleHistory {
  static constexpr int kRowCount = 5;
  static constexpr int kRowCapacity = 256;
  static constexpr int kMaxSamples = 100;

  int count = 0;
  double rows[kRowCount][kRowCapacity] = {};

  // Forgets the samples; the rows keep their (now stale) values.
  void Clear();
  // Stores one reading at index `count`; once 100 are held, drops the oldest.
  void Append(const LatestReading& reading);
};
