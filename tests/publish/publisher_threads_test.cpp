// The publisher as the desktop program drives it: snapshots handed in from
// the run's worker thread while the window's thread reads the counts and in
// the end finishes, with libmosquitto's own thread in between. Under
// ThreadSanitizer (the tsan preset) these show any access outside the
// publisher's locks.
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "publish/mqtt_publisher.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A local port, `listening` or not.
int LocalPort(int& socketFd, bool listening) {
  socketFd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (listening) listen(socketFd, 1);
  getsockname(socketFd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

// Debian's mosquitto on a free local port, anonymous, for one test.
class Broker {
 public:
  Broker() {
    int fd = -1;
    port_ = LocalPort(fd, false);
    close(fd);
    char folder[] = "/tmp/ivra-publisher-test.XXXXXX";
    folder_ = mkdtemp(folder);
    config_ = folder_ + "/mosquitto.conf";
    // As whoever runs the test: a broker started by root would become the mosquitto user.
    std::ofstream(config_) << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\nlog_dest none\nuser "
                           << getpwuid(getuid())->pw_name << "\n";
    pid_ = fork();
    if (pid_ == 0) {
      // Gone with the test, even when a sanitizer ends it, and off its output.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      execl(IVRA_MOSQUITTO, IVRA_MOSQUITTO, "-c", config_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid_ < 0) pid_ = 0;
    for (int i = 0; i < 200 && pid_ != 0 && !Accepts(port_); ++i) std::this_thread::sleep_for(50ms);
  }
  ~Broker() {
    if (pid_ != 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::remove(config_.c_str());
    rmdir(folder_.c_str());
  }
  bool Running() const { return pid_ != 0 && Accepts(port_); }
  int Port() const { return port_; }

 private:
  int port_ = 0;
  pid_t pid_ = 0;
  std::string folder_;
  std::string config_;
};

SnapshotPtr Snapshot(int samples) {
  auto snapshot = std::make_shared<RunSnapshot>();
  snapshot->state = RunState::Running;
  snapshot->counters.samplesTaken = samples;
  snapshot->tickCount = samples;
  snapshot->elapsedSeconds = samples;
  snapshot->latest.time = samples;
  snapshot->latest.current = 1e-6 * samples;
  return snapshot;
}

MqttSettings SettingsFor(int port) {
  MqttSettings settings;
  settings.broker.host = "127.0.0.1";
  settings.broker.port = port;
  settings.broker.prefix = "lab/threads";
  settings.bench = "threads";
  return settings;
}

// Warnings come on whichever thread hands in a snapshot.
class Warnings {
 public:
  MqttPublisher::WarningSink Sink() {
    return [this](const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      texts_.push_back(text);
    };
  }
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> texts_;
};

TEST(MqttPublisherThreads, ReadingsHandedInOnAWorkerThreadAllReachTheBroker) {
  Broker broker;
  ASSERT_TRUE(broker.Running());
  Warnings warnings;
  MqttPublisher publisher(SettingsFor(broker.Port()), warnings.Sink());
  constexpr int kReadings = 300;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    // The first reading waits for the connection; the others follow at once.
    const auto deadline = Clock::now() + 30s;
    publisher.OnSnapshot(Snapshot(1));
    while (publisher.Counts().readingsPublished == 0 && Clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
      publisher.OnSnapshot(Snapshot(1));
    }
    for (int sample = 2; sample <= kReadings; ++sample) publisher.OnSnapshot(Snapshot(sample));
    done = true;
  });
  long long published = 0;
  while (!done) {
    const long long now = publisher.Counts().readingsPublished;
    EXPECT_GE(now, published);
    published = now;
    std::this_thread::yield();
  }
  worker.join();
  publisher.Finish(30.0);
  EXPECT_EQ(publisher.Counts().readingsPublished, kReadings);
  EXPECT_EQ(publisher.Counts().readingsDropped, 0);
  EXPECT_TRUE(warnings.Texts().empty());
}

// Ended while libmosquitto's thread is still writing readings to the broker:
// stopping that thread must not leave its locks held when it goes.
TEST(MqttPublisherThreads, EndsCleanlyWhileReadingsAreStillBeingWritten) {
  Broker broker;
  ASSERT_TRUE(broker.Running());
  for (int round = 0; round < 10; ++round) {
    Warnings warnings;
    MqttPublisher publisher(SettingsFor(broker.Port()), warnings.Sink());
    const auto deadline = Clock::now() + 30s;
    publisher.OnSnapshot(Snapshot(1));
    while (publisher.Counts().readingsPublished == 0 && Clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
      publisher.OnSnapshot(Snapshot(1));
    }
    constexpr int kReadings = 100;
    for (int sample = 2; sample <= kReadings; ++sample) publisher.OnSnapshot(Snapshot(sample));
    publisher.Finish(0.0);
    const PublishCounts counts = publisher.Counts();
    EXPECT_EQ(counts.readingsPublished, kReadings) << "round " << round;
    EXPECT_LE(counts.readingsDropped, kReadings) << "round " << round;
  }
}

TEST(MqttPublisherThreads, WithoutABrokerTwoThreadsFillTheBoundedQueueAndTroubleIsToldOnce) {
  int listener = -1;
  const int port = LocalPort(listener, false);  // held, never listening: the connection is refused
  MqttSettings settings = SettingsFor(port);
  settings.queueLimit = 10;
  Warnings warnings;
  MqttPublisher publisher(settings, warnings.Sink());
  // A snapshot without a reading tells the trouble once it is known.
  const auto deadline = Clock::now() + 30s;
  while (warnings.Texts().empty() && Clock::now() < deadline) {
    publisher.OnSnapshot(Snapshot(0));
    std::this_thread::sleep_for(10ms);
  }
  // Odd samples on one thread, even on the other: each snapshot differs from the one before.
  constexpr int kEach = 200;
  const auto handIn = [&](int first) {
    for (int i = 0; i < kEach; ++i) publisher.OnSnapshot(Snapshot(first + 2 * i));
  };
  std::thread odd(handIn, 1);
  std::thread even(handIn, 2);
  while (publisher.Counts().readingsDropped < 2 * kEach - 10 && Clock::now() < deadline) std::this_thread::yield();
  odd.join();
  even.join();
  publisher.Finish(1.0);
  close(listener);

  EXPECT_EQ(publisher.Counts().readingsPublished, 0);
  EXPECT_EQ(publisher.Counts().readingsDropped, 2 * kEach);
  const std::vector<std::string> texts = warnings.Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("cannot publish to the MQTT broker mqtt://127.0.0.1:" + std::to_string(port)),
            std::string::npos);
}

}  // namespace
