#include "run/sample_history.h"

#include <gtest/gtest.h>

namespace {

LatestReading ReadingNumber(int n) {
  LatestReading r;
  r.time = n;
  r.current = n * 1e-6;
  r.voltage = n * 0.1;
  r.aux3 = 0.0;
  r.aux4 = 0.0;
  return r;
}

TEST(SampleHistory, RowsLieInOneBlockOf256PerRow) {
  SampleHistory h;
  EXPECT_EQ(&h.rows[1][0] - &h.rows[0][0], 256);
  EXPECT_EQ(&h.rows[4][0] - &h.rows[0][0], 4 * 256);
}

TEST(SampleHistory, FillsToAHundredThenDropsTheOldest) {
  SampleHistory h;
  for (int n = 1; n <= 100; ++n) h.Append(ReadingNumber(n));
  EXPECT_EQ(h.count, 100);
  EXPECT_EQ(h.rows[0][0], 1.0);
  EXPECT_EQ(h.rows[0][99], 100.0);
  EXPECT_DOUBLE_EQ(h.rows[1][99], 100e-6);
  EXPECT_DOUBLE_EQ(h.rows[2][99], 10.0);

  h.Append(ReadingNumber(101));
  EXPECT_EQ(h.count, 100);
  EXPECT_EQ(h.rows[0][0], 2.0);
  EXPECT_DOUBLE_EQ(h.rows[1][0], 2e-6);
  EXPECT_DOUBLE_EQ(h.rows[2][0], 0.2);
  EXPECT_EQ(h.rows[0][98], 100.0);
  EXPECT_EQ(h.rows[0][99], 101.0);
  EXPECT_DOUBLE_EQ(h.rows[1][99], 101e-6);

  for (int n = 102; n <= 350; ++n) h.Append(ReadingNumber(n));
  EXPECT_EQ(h.count, 100);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(h.rows[0][i], 251.0 + i) << "index " << i;
  // Only the first 100 places of a row are ever written.
  for (int r = 0; r < SampleHistory::kRowCount; ++r) EXPECT_EQ(h.rows[r][100], 0.0);
}

TEST(SampleHistory, ClearForgetsTheCountButKeepsTheRows) {
  SampleHistory h;
  for (int n = 1; n <= 5; ++n) h.Append(ReadingNumber(n));
  h.Clear();
  EXPECT_EQ(h.count, 0);
  EXPECT_EQ(h.rows[0][4], 5.0);
  h.Append(ReadingNumber(42));
  EXPECT_EQ(h.count, 1);
  EXPECT_EQ(h.rows[0][0], 42.0);
  EXPECT_EQ(h.rows[0][1], 2.0);  // stale, beyond count
}

}  // namespace
