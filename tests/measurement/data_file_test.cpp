// The output file: whole lines only, and one run at a time.
#include "datafile/data_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class DataFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ivra-data-file-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// A file size limit stands in for a disk that fills up in the middle of a
// line: the write stores what fits and then fails.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = nullptr;
};

TEST_F(DataFileTest, AnAppendThatFailsHalfwayLeavesNoFragmentForTheNextLine) {
  const fs::path path = dir_ / "x.dat";
  DataFile file;
  ASSERT_TRUE(file.Create(path.string()));
  ASSERT_TRUE(file.Append("262.34\ts\t0.5\tuA\n"));
  const auto before = fs::file_size(path);
  {
    FileSizeLimit full(before + 5);  // room for "263.3" only
    EXPECT_FALSE(file.Append("263.34\ts\t0.5\tuA\n"));
  }
  EXPECT_EQ(fs::file_size(path), before);
  ASSERT_TRUE(file.Append("280.33\ts\t0.5\tuA\n"));
  EXPECT_EQ(ReadFile(path), "262.34\ts\t0.5\tuA\n280.33\ts\t0.5\tuA\n");
}

TEST_F(DataFileTest, ARunningMeasurementsFileIsNeitherTakenNorEmptiedByAnother) {
  const fs::path path = dir_ / "x.dat";
  DataFile first;
  ASSERT_TRUE(first.Create(path.string()));
  ASSERT_TRUE(first.Append("1.10\ts\t0.5\tuA\n"));

  DataFile second;
  EXPECT_FALSE(second.Create(path.string()));
  EXPECT_EQ(ReadFile(path), "1.10\ts\t0.5\tuA\n");

  // Removed during the run, the file is made anew by the next line, and locked again.
  fs::remove(path);
  ASSERT_TRUE(first.Append("2.10\ts\t0.5\tuA\n"));
  EXPECT_FALSE(second.Create(path.string()));
  EXPECT_EQ(ReadFile(path), "2.10\ts\t0.5\tuA\n");

  // Once the first run has ended, the file is free to be emptied.
  first.Release();
  ASSERT_TRUE(second.Create(path.string()));
  EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(DataFileTest, ALineIsNotAddedToAFileThatAnotherRunMadeAtTheSamePath) {
  const fs::path path = dir_ / "x.dat";
  DataFile first;
  ASSERT_TRUE(first.Create(path.string()));
  fs::remove(path);
  DataFile second;
  ASSERT_TRUE(second.Create(path.string()));
  ASSERT_TRUE(second.Append("5.10\ts\t1\tuA\n"));
  EXPECT_FALSE(first.Append("3.10\ts\t0.5\tuA\n"));
  EXPECT_EQ(ReadFile(path), "5.10\ts\t1\tuA\n");
}

}  // namespace
