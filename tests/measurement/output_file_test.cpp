// An output file that cannot be created says why and what to do; one that
// already holds data is counted before anything replaces it.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "datafile/data_file.h"
#include "datafile/existing_output.h"
#include "text/file_messages.h"

namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ivra-output-file-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The message of a real failed Create, and its problem.
  std::string CreateFailure(const std::string& path, FileCreateProblem& problem) {
    DataFile file;
    FileCreateError error;
    EXPECT_FALSE(file.Create(path, &error)) << path;
    problem = error.problem;
    return FileCreateFailureMessage(path, error);
  }

  fs::path dir_;
};

TEST_F(OutputFileTest, AFolderAMissingFolderAndAFileInUseEachGetTheirReasonAndNextStep) {
  FileCreateProblem problem{};
  EXPECT_EQ(CreateFailure(dir_.string(), problem), "Can't create file : " + dir_.string() +
                                                       "\nThis is a folder, not a file. Add a file name to it, e.g. " +
                                                       (dir_ / "run1.dat").string() + ".");
  EXPECT_EQ(problem, FileCreateProblem::IsDirectory);

  const std::string missing = (dir_ / "no-such" / "x.dat").string();
  EXPECT_EQ(CreateFailure(missing, problem), "Can't create file : " + missing + "\nThe folder " +
                                                 (dir_ / "no-such").string() +
                                                 " does not exist. Create it first, or choose a file in a folder "
                                                 "that exists.");
  EXPECT_EQ(problem, FileCreateProblem::NoSuchFolder);

  // A plain file standing where a folder should be is a missing folder too.
  std::ofstream(dir_ / "plain") << "x";
  CreateFailure((dir_ / "plain" / "x.dat").string(), problem);
  EXPECT_EQ(problem, FileCreateProblem::NoSuchFolder);

  const std::string held = (dir_ / "held.dat").string();
  DataFile running;
  ASSERT_TRUE(running.Create(held));
  EXPECT_EQ(CreateFailure(held, problem), "Can't create file : " + held +
                                              "\nA running measurement is writing to this file. Wait until it has "
                                              "ended, or choose another file.");
  EXPECT_EQ(problem, FileCreateProblem::InUse);

  CreateFailure("", problem);
  EXPECT_EQ(problem, FileCreateProblem::EmptyName);
}

TEST_F(OutputFileTest, AReadOnlyDriveAndMissingRightsAreToldApart) {
  EXPECT_EQ(ClassifyFileCreateError("/x/y.dat", EROFS), FileCreateProblem::ReadOnlyFileSystem);
  EXPECT_EQ(ClassifyFileCreateError("/x/y.dat", EACCES), FileCreateProblem::PermissionDenied);
  EXPECT_EQ(ClassifyFileCreateError("/x/y.dat", EPERM), FileCreateProblem::PermissionDenied);
  EXPECT_EQ(ClassifyFileCreateError("/x/y.dat", ENOSPC), FileCreateProblem::Other);
  // Windows reports a folder as "permission denied": the folder wins.
  EXPECT_EQ(ClassifyFileCreateError(dir_.string(), EACCES), FileCreateProblem::IsDirectory);
  const std::string denied = FileCreateFailureMessage("/x/y.dat", {FileCreateProblem::PermissionDenied, EACCES});
  EXPECT_EQ(denied.substr(0, denied.find('\n')), "Can't create file : /x/y.dat");
  EXPECT_NE(denied.find("You are not allowed to write there."), std::string::npos);
  const std::string other = FileCreateFailureMessage("/x/y.dat", {FileCreateProblem::Other, ENOSPC});
  EXPECT_NE(other.find("(No space left on device)"), std::string::npos) << other;

  // The real thing where we may mount: a read-only tmpfs.
  const fs::path readOnly = dir_ / "ro";
  fs::create_directories(readOnly);
  if (geteuid() != 0 || mount("tmpfs", readOnly.c_str(), "tmpfs", MS_RDONLY, nullptr) != 0) {
    GTEST_SKIP() << "no read-only mount here; the mapping above stands for it";
  }
  FileCreateProblem problem{};
  const std::string message = CreateFailure((readOnly / "x.dat").string(), problem);
  umount(readOnly.c_str());
  EXPECT_EQ(problem, FileCreateProblem::ReadOnlyFileSystem);
  EXPECT_EQ(message, "Can't create file : " + (readOnly / "x.dat").string() +
                         "\nThe drive it is on is read-only. Choose a file on another drive, or make this one "
                         "writable.");
}

TEST_F(OutputFileTest, LinesAreCountedOnlyInARegularFileWithData) {
  const fs::path file = dir_ / "x.dat";
  EXPECT_EQ(ExistingLineCount(file.string()), 0);  // missing
  std::ofstream(file).close();
  EXPECT_EQ(ExistingLineCount(file.string()), 0);  // empty
  std::ofstream(file) << "1.00\ts\t0.5\tuA\n2.00\ts\t0.5\tuA\n";
  EXPECT_EQ(ExistingLineCount(file.string()), 2);
  std::ofstream(file, std::ios::app) << "3.00\ts\t0.";  // a last line without its end
  EXPECT_EQ(ExistingLineCount(file.string()), 3);
  std::ofstream(file) << "\n";
  EXPECT_EQ(ExistingLineCount(file.string()), 1);
  std::ofstream(file) << std::string(200000, 'x') + "\n" + std::string(70000, 'y') + "\n";  // beyond one block
  EXPECT_EQ(ExistingLineCount(file.string()), 2);
  EXPECT_EQ(ExistingLineCount(dir_.string()), 0);
  EXPECT_EQ(ExistingLineCount("/dev/null"), 0);
  EXPECT_EQ(ExistingLineCount(""), 0);

  EXPECT_EQ(ReplaceQuestion("/data/run.dat", 50), "/data/run.dat already holds 50 lines. Replace it?");
  EXPECT_EQ(ReplaceQuestion("/data/run.dat", 1), "/data/run.dat already holds 1 line. Replace it?");
  EXPECT_EQ(ReplaceQuestion("a\nb", 2), "a\\nb already holds 2 lines. Replace it?");
}

}  // namespace
