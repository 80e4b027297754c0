#include "run/sample_history.h"

void SampleHistory::Clear() { count = 0; }

void SampleHistory::Append(const LatestReading& reading) {
  if (count >= kMaxSamples) {
    // Shift every row one place towards the front: the plot reads each row as a
    // plain array from index 0, so there is no ring-buffer start index.
    for (auto& row : rows) {
      for (int i = 1; i < kMaxSamples; ++i) row[i - 1] = row[i];
    }
    count = kMaxSamples - 1;
  }
  rows[0][count] = reading.time;
  rows[1][count] = reading.current;
  rows[2][count] = reading.voltage;
  rows[3][count] = reading.aux3;
  rows[4][count] = reading.aux4;
  ++count;
}
