#include "datafile/data_file_reader.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "datafile/data_line.h"

namespace {

// Keeps every sample; refuses one earlier than the one before, as the store does.
class CollectingSink : public DataLineSink {
 public:
  bool TakeSample(double seconds, double microamperes) override {
    if (!samples.empty() && seconds < samples.back().first) {
      return false;
    }
    samples.emplace_back(seconds, microamperes);
    return true;
  }
  std::vector<std::pair<double, double>> samples;
};

class DataFileReaderTest : public ::testing::Test {
 protected:
  // ctest runs each test in its own process, side by side: each needs a file of its own.
  std::string path_ = ::testing::TempDir() + "data_file_reader_" + std::to_string(getpid()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dat";
  void Write(const std::string& text, const char* mode = "wb") {
    std::FILE* file = std::fopen(path_.c_str(), mode);
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  void TearDown() override { std::remove(path_.c_str()); }
};

TEST_F(DataFileReaderTest, CountsBadLinesAndKeepsTheFirstLineNumber) {
  Write("0.00\ts\t1\tuA\n1.00\ts\t2\tuA\r\n# note\n2.00\ts\t3\tuA\n\n1.50\ts\t9\tuA\n" + std::string(10000, 'x') +
        "\n3.00\ts\t4\tuA\n");
  CollectingSink sink;
  const DataFileReading reading = ReadDataFile(path_, sink);
  EXPECT_EQ(reading.status, DataFileStatus::Read);
  EXPECT_EQ(reading.tally.dataLines, 4u);
  // The comment, the blank line, the time that goes back and the long line.
  EXPECT_EQ(reading.tally.badLines, 4u);
  EXPECT_EQ(reading.tally.firstBadLine, 3u);
  ASSERT_EQ(sink.samples.size(), 4u);
  EXPECT_EQ(sink.samples[3], std::make_pair(3.0, 4.0));
  EXPECT_EQ(BadLinesText("run.dat", reading.tally),
            "4 lines of run.dat are not data lines and were skipped; the first is line 3.");
  DataFileTally one;
  one.badLines = 1;
  one.firstBadLine = 7;
  EXPECT_EQ(BadLinesText("run.dat", one), "Line 7 of run.dat is not a data line and was skipped.");
}

TEST_F(DataFileReaderTest, EmptyAndMissingFiles) {
  Write("");
  CollectingSink sink;
  DataFileReading reading = ReadDataFile(path_, sink);
  EXPECT_EQ(reading.status, DataFileStatus::Read);
  EXPECT_EQ(reading.tally.dataLines, 0u);
  EXPECT_EQ(reading.tally.badLines, 0u);
  EXPECT_EQ(BadLinesText(path_, reading.tally), "");
  reading = ReadDataFile(path_ + ".missing", sink);
  EXPECT_EQ(reading.status, DataFileStatus::CannotOpen);
}

TEST_F(DataFileReaderTest, AFileStillBeingWrittenIsReadToItsLastCompleteLine) {
  Write("0.00\ts\t1\tuA\n1.00\ts\t2\tu");
  CollectingSink first;
  DataFileReading reading = ReadDataFile(path_, first);
  EXPECT_EQ(reading.tally.dataLines, 1u);
  EXPECT_EQ(reading.tally.badLines, 0u);
  EXPECT_EQ(reading.tally.bytesUsed, 12u);
  Write("A\n2.00\ts\t3\tuA\n", "ab");
  CollectingSink again;
  reading = ReadDataFile(path_, again);
  EXPECT_EQ(reading.tally.dataLines, 3u);
  EXPECT_EQ(reading.tally.badLines, 0u);
}

TEST(DataLineParserTest, LinesSplitAcrossPiecesReadAsWhole) {
  std::string text;
  for (int i = 0; i < 300; ++i) {
    text += FormatDataLine(i, 1e-6 * i);
    if (i % 50 == 7) {
      text += std::string(i * 3, 'y') + "\n";  // some short, some too long to be data
    }
  }
  CollectingSink whole;
  DataLineParser wholeParser(whole);
  wholeParser.Feed(text.data(), text.size());
  for (std::size_t piece : {1u, 2u, 7u, 300u}) {
    CollectingSink split;
    DataLineParser parser(split);
    for (std::size_t at = 0; at < text.size(); at += piece) {
      parser.Feed(text.data() + at, std::min(piece, text.size() - at));
    }
    EXPECT_EQ(split.samples, whole.samples) << piece;
    EXPECT_EQ(parser.Tally().badLines, wholeParser.Tally().badLines) << piece;
    EXPECT_EQ(parser.Tally().firstBadLine, wholeParser.Tally().firstBadLine) << piece;
    EXPECT_EQ(parser.Tally().bytesUsed, text.size()) << piece;
    EXPECT_EQ(parser.PendingBytes(), 0u);
  }
  EXPECT_EQ(whole.samples.size(), 300u);
  EXPECT_EQ(wholeParser.Tally().badLines, 6u);
  EXPECT_EQ(wholeParser.Tally().firstBadLine, 9u);
}

}  // namespace
