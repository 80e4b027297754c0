// ivra-run killed with SIGKILL at random moments of a run against ivra-sim,
// each kill followed in turn by --resume and by --recover. Every data file
// must hold whole lines only, rising times and no sample twice; the record
// must end as interrupted with the output off, and the simulator's output
// must be off at the end. What was lost beyond the downtime is printed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "child_process.h"
#include "run/run_record.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kRunProgram = IVRA_RUN_PATH;
const std::string kSimProgram = IVRA_SIM_PATH;

std::vector<std::string> LoggedCommands(const std::string& logPath) {
  std::vector<std::string> commands;
  std::istringstream lines(ReadWholeFile(logPath));
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos) commands.push_back(line.substr(tab + 1));
  }
  return commands;
}

// The simulator logs a command once it has read it: give it time to catch up.
std::string LastCommand(const std::string& logPath, const std::string& expected) {
  std::vector<std::string> commands;
  for (int i = 0; i < 100; ++i) {
    commands = LoggedCommands(logPath);
    if (!commands.empty() && commands.back() == expected) break;
    std::this_thread::sleep_for(50ms);
  }
  return commands.empty() ? std::string() : commands.back();
}

// Seconds since the record's start (elapsed 0 of the data file); -1 without a record.
double ElapsedNow(const std::string& dataPath) {
  const std::string text = ReadWholeFile(RunRecordPath(dataPath));
  if (text.empty()) return -1.0;
  const nlohmann::json record = nlohmann::json::parse(text, nullptr, false);
  std::chrono::system_clock::time_point start;
  if (record.is_discarded() || !ParseWallClock(record.value("start", ""), start)) return -1.0;
  return std::chrono::duration<double>(std::chrono::system_clock::now() - start).count();
}

bool WaitForRecord(const std::string& dataPath) {
  for (int i = 0; i < 400; ++i) {
    if (ElapsedNow(dataPath) >= 0) return true;
    std::this_thread::sleep_for(25ms);
  }
  return false;
}

// Debian's mosquitto on a free local port, anonymous, for one test.
class Broker {
 public:
  Broker() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    close(fd);
    config_ = (fs::temp_directory_path() / ("ivra-kill-broker-" + std::to_string(getpid()) + ".conf")).string();
    std::ofstream(config_) << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\nlog_dest none\nuser "
                           << getpwuid(getuid())->pw_name << "\n";
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      execl(IVRA_MOSQUITTO, IVRA_MOSQUITTO, "-c", config_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(500ms);
  }
  ~Broker() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::remove(config_.c_str());
  }
  int Port() const { return port_; }

 private:
  int port_ = 0;
  pid_t pid_ = -1;
  std::string config_;
};

// The kills a case makes: `fallback` in the test suite, more from the bench (IVRA_KILLS).
int KillsWanted(int fallback) {
  const char* wanted = std::getenv("IVRA_KILLS");
  return wanted != nullptr && std::atoi(wanted) > fallback ? std::atoi(wanted) : fallback;
}

struct KillFigures {
  int kills = 0;
  int runs = 0;
  int lostBeyondDowntime = 0;  // due samples absent from the file outside every downtime, no miss recorded
  int interrupted = 0;         // due samples missed as interrupted
};

class KilledRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ivra-killed-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs with `runArgs` killed at random moments until `kills` kills: each run
  // is killed, resumed, killed again and recovered; then the next run.
  KillFigures KillRuns(const std::vector<std::string>& runArgs, double measurementTime, int intervalMs, int kills,
                       unsigned seed) {
    SimulatorProcess sim(kSimProgram, {"--log", Path("sim.log")});
    EXPECT_FALSE(sim.DevicePath().empty());
    kills = KillsWanted(kills);
    if (const char* seedText = std::getenv("IVRA_KILL_SEED")) seed += static_cast<unsigned>(std::atoi(seedText));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pauseMs(250, 2200);
    KillFigures figures;
    while (figures.kills < kills && !HasFailure()) {
      const std::string out = Path("run" + std::to_string(figures.runs++) + ".dat");
      std::vector<std::string> args = runArgs;
      args.insert(args.end(), {"--port", sim.DevicePath(), "--output", out});
      ChildProcess run = StartChild(kRunProgram, args, nullptr, out + ".err");
      EXPECT_TRUE(WaitForRecord(out)) << ReadWholeFile(out + ".err");
      std::vector<double> killedAt;
      for (bool resume = true;; resume = false) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
        kill(run.pid, SIGKILL);
        EXPECT_EQ(WaitForChild(run, 20000), 128 + SIGKILL) << ReadWholeFile(out + ".err");
        ++figures.kills;
        killedAt.push_back(ElapsedNow(out));
        if (resume && killedAt.back() + 5 < measurementTime) {
          run = StartChild(kRunProgram, {"--resume", out}, nullptr, out + ".err");
          continue;
        }
        ChildProcess recover = StartChild(kRunProgram, {"--recover", out}, nullptr, out + ".recover");
        EXPECT_EQ(WaitForChild(recover, 30000), 0) << ReadWholeFile(out + ".recover");
        break;
      }
      EXPECT_EQ(LastCommand(Path("sim.log"), ":OUTP OFF\\r"), ":OUTP OFF\\r") << out;
      CheckKilledRun(out, intervalMs, killedAt, figures);
    }
    std::printf("%d kills over %d runs: %d samples missed as interrupted, %d lost beyond the downtime\n", figures.kills,
                figures.runs, figures.interrupted, figures.lostBeyondDowntime);
    return figures;
  }

  void CheckKilledRun(const std::string& out, int intervalMs, const std::vector<double>& killedAt,
                      KillFigures& figures) {
    const std::string data = ReadWholeFile(out);
    ASSERT_TRUE(data.empty() || data.back() == '\n') << out << ": a torn last line";
    const std::regex line(R"((\d+\.\d{2,3})\ts\t-?[0-9.e+-]+\tuA(\t-?[0-9.e+-]+\tV)?)");
    std::istringstream lines(data);
    std::string text;
    double previous = -1.0;
    std::set<long long> samples;
    while (std::getline(lines, text)) {
      std::smatch m;
      ASSERT_TRUE(std::regex_match(text, m, line)) << out << ": " << text;
      const double t = std::stod(m[1]);
      EXPECT_GT(t, previous) << out << ": " << text;
      previous = t;
      // A sample is stamped at or after its due time, before the next one's.
      EXPECT_TRUE(samples.insert(std::llround(std::floor(t * 1000.0 + 0.5)) / intervalMs).second)
          << out << ": a sample twice: " << text;
    }
    const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(RunRecordPath(out)));
    EXPECT_EQ(record["running"], false) << out;
    EXPECT_EQ(record["end_reason"], "interrupted") << out;
    EXPECT_EQ(record["output_off_delivered"], true) << out;
    EXPECT_EQ(record["samples"]["written"], samples.size()) << out;
    int interrupted = 0;
    std::vector<double> resumedAt;
    for (const auto& resume : record.value("resumes", nlohmann::json::array())) {
      EXPECT_GE(resume["missed"].get<int>(), 0);
      interrupted += resume["missed"].get<int>();
      resumedAt.push_back(resume["elapsed_s"].get<double>());
    }
    if (interrupted > 0) {
      EXPECT_EQ(record["samples"]["missed_by_reason"]["interrupted"], interrupted) << out;
    }
    figures.interrupted += interrupted;
    // Every due sample up to the last one written is in the file, unless it
    // fell into a downtime (from a sample's length before the kill to the
    // resume) or the record says why it was missed.
    const long long last = samples.empty() ? 0 : *samples.rbegin();
    int beyond = 0;
    for (long long n = 1; n <= last; ++n) {
      if (samples.count(n) != 0) continue;
      const double due = static_cast<double>(n) * intervalMs / 1000.0;
      bool down = false;
      for (std::size_t i = 0; i < killedAt.size() && i < resumedAt.size(); ++i) {
        down = down || (due > killedAt[i] - 1.5 - intervalMs / 1000.0 && due <= resumedAt[i]);
      }
      if (!down) ++beyond;
    }
    const int otherMisses = record["samples"]["missed"].get<int>() - interrupted;
    EXPECT_LE(beyond, otherMisses) << out << ": samples gone without a reason";
    figures.lostBeyondDowntime += std::max(0, beyond - otherMisses);
  }

  fs::path dir_;
};

TEST_F(KilledRun, EverySecond) {
  const KillFigures figures = KillRuns({"--interval", "1", "--time", "20"}, 20, 1000, 14, 28001);
  EXPECT_GE(figures.kills, 14);
  EXPECT_EQ(figures.lostBeyondDowntime, 0);
}

TEST_F(KilledRun, FourTimesASecond) {
  const KillFigures figures = KillRuns({"--interval", "0.25", "--time", "20"}, 20, 250, 14, 28002);
  EXPECT_GE(figures.kills, 14);
  EXPECT_EQ(figures.lostBeyondDowntime, 0);
}

TEST_F(KilledRun, OnABiasSchedule) {
  const KillFigures figures =
      KillRuns({"--step", "0.5:3", "--step", "1:3", "--step", "0.25:2", "--repeat", "3"}, 24, 1000, 12, 28003);
  EXPECT_GE(figures.kills, 12);
}

TEST_F(KilledRun, WithTheBrokerOn) {
  if (std::string(IVRA_MOSQUITTO).empty()) GTEST_SKIP() << "mosquitto is not installed";
  Broker broker;
  const std::string url = "mqtt://localhost:" + std::to_string(broker.Port()) + "/lab/kill";
  const KillFigures figures = KillRuns({"--time", "20", "--mqtt", url}, 20, 1000, 12, 28004);
  EXPECT_GE(figures.kills, 12);
}

// A resumed run that then ends by itself ends as a run does: after a torn
// last line and a record replacement the crash cut short.
TEST_F(KilledRun, AResumedRunCompletesAfterATornLineAndAHalfReplacedRecord) {
  SimulatorProcess sim(kSimProgram, {"--log", Path("sim.log")});
  const std::string out = Path("x.dat");
  ChildProcess run =
      StartChild(kRunProgram, {"--port", sim.DevicePath(), "--time", "10", "--output", out}, nullptr, Path("err1"));
  ASSERT_TRUE(WaitForRecord(out));
  std::this_thread::sleep_for(2500ms);
  kill(run.pid, SIGKILL);
  WaitForChild(run, 20000);
  std::ofstream(out, std::ios::app) << "2.9";
  std::ofstream(RunRecordPath(out) + ".tmp") << "{\"program\": \"ivra\", \"runn";
  ChildProcess unfinished = StartChild(kRunProgram, {"--unfinished"}, nullptr, Path("err2"));
  std::this_thread::sleep_for(1s);  // a downtime with a due sample or two
  ASSERT_EQ(WaitForChild(unfinished, 20000), 0);

  ChildProcess resumed = StartChild(kRunProgram, {"--resume", out}, nullptr, Path("err3"));
  // Samples went missing while nothing ran: exit 3, as for any run that missed some.
  EXPECT_EQ(WaitForChild(resumed, 60000), 3) << ReadWholeFile(Path("err3"));
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(RunRecordPath(out)));
  EXPECT_EQ(record["end_reason"], "completed");
  EXPECT_EQ(record["output_off_delivered"], true);
  EXPECT_EQ(record["torn_lines_cut"], 1);
  ASSERT_EQ(record["resumes"].size(), 1u);
  EXPECT_EQ(record["resumes"][0]["torn_bytes_cut"], 3);
  const int interrupted = record["samples"]["missed_by_reason"]["interrupted"];
  EXPECT_GE(interrupted, 1);
  EXPECT_EQ(record["samples"]["due"], 10);
  EXPECT_EQ(record["samples"]["written"].get<int>() + record["samples"]["missed"].get<int>(), 10);
  EXPECT_FALSE(fs::exists(RunRecordPath(out) + ".tmp"));
  EXPECT_TRUE(fs::is_empty(dir_ / "state" / "ivra" / "runs"));
  // Set up again as Start does, and off at the end.
  const std::vector<std::string> commands = LoggedCommands(Path("sim.log"));
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "*RST\\r"), 2);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), ":OUTP ON\\r"), 2);
  EXPECT_EQ(LastCommand(Path("sim.log"), ":OUTP OFF\\r"), ":OUTP OFF\\r");
  const std::string data = ReadWholeFile(out);
  EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), record["samples"]["written"].get<int>()) << data;
}

// A run that is alive is never touched: its lock is held.
TEST_F(KilledRun, ALiveRunIsRefusedAndNothingIsSent) {
  SimulatorProcess sim(kSimProgram, {"--log", Path("sim.log")});
  const std::string out = Path("x.dat");
  ChildProcess run =
      StartChild(kRunProgram, {"--port", sim.DevicePath(), "--time", "10", "--output", out}, nullptr, Path("err1"));
  ASSERT_TRUE(WaitForRecord(out));
  const std::string words = "still running (process " + std::to_string(run.pid) + ")";
  for (const char* option : {"--recover", "--resume"}) {
    ChildProcess refused = StartChild(kRunProgram, {option, out}, nullptr, Path("refused"));
    EXPECT_EQ(WaitForChild(refused, 20000), 1) << option;
    EXPECT_NE(ReadWholeFile(Path("refused")).find(words), std::string::npos) << ReadWholeFile(Path("refused"));
  }
  int listed = -1;
  ChildProcess unfinished = StartChild(kRunProgram, {"--unfinished"}, &listed, Path("err2"));
  EXPECT_EQ(ReadLineFrom(listed, 5000), "");
  EXPECT_EQ(WaitForChild(unfinished, 20000), 0);
  close(listed);
  ChildProcess again = StartChild(kRunProgram, {"--resume-if-unfinished", "--port", sim.DevicePath(), "--output", out},
                                  nullptr, Path("refused"));
  EXPECT_EQ(WaitForChild(again, 20000), 1);
  EXPECT_NE(ReadWholeFile(Path("refused")).find(words), std::string::npos) << ReadWholeFile(Path("refused"));
  kill(run.pid, SIGTERM);
  EXPECT_EQ(WaitForChild(run, 30000), 128 + SIGTERM);
  // One ":OUTP OFF": the run's own, at its stop.
  std::this_thread::sleep_for(300ms);
  const std::vector<std::string> commands = LoggedCommands(Path("sim.log"));
  EXPECT_EQ(std::count(commands.begin(), commands.end(), ":OUTP OFF\\r"), 1);
  // Ended: nothing to resume, and the output is off.
  ChildProcess ended = StartChild(kRunProgram, {"--resume", out}, nullptr, Path("refused"));
  EXPECT_EQ(WaitForChild(ended, 20000), 1);
  EXPECT_NE(ReadWholeFile(Path("refused")).find("has ended"), std::string::npos);
}

}  // namespace
