#include "sim/simulated_instrument.h"

std::string EscapeCommandBytes(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(bytes.size() + 8);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    switch (byte) {
      case '\r': escaped += "\\r"; break;
      case '\n': escaped += "\\n"; break;
      case '\t': escaped += "\\t"; break;
      case '\\': escaped += "\\\\"; break;
      default:
        if (byte >= 0x20 && byte <= 0x7E) {
          escaped += c;
        } else {
          escaped += "\\x";
          escaped += kHex[byte >> 4];
          escaped += kHex[byte & 0x0F];
        }
    }
  }
  return escaped;
}

#ifdef _WIN32

// Platforms without pseudo-terminals (Windows): the simulated instrument cannot
// serve a serial line there, so Start fails with a reason the caller shows. A
// real instrument, or a virtual COM port pair with ivra-sim's model behind it,
// is the way to run on such a platform.
struct SimulatedInstrument::Impl {
  std::string devicePath;
  std::string error = "the simulated instrument needs a pseudo-terminal, which this platform does not offer";
};

SimulatedInstrument::SimulatedInstrument(SimOptions) : impl_(std::make_unique<Impl>()) {}
SimulatedInstrument::~SimulatedInstrument() = default;

bool SimulatedInstrument::Start() { return false; }
void SimulatedInstrument::Stop() {}
const std::string& SimulatedInstrument::DevicePath() const { return impl_->devicePath; }
const std::string& SimulatedInstrument::Error() const { return impl_->error; }
bool SimulatedInstrument::OutputOn() const { return false; }
double SimulatedInstrument::SourceVolts() const { return 0.0; }
double SimulatedInstrument::ComplianceA() const { return 0.0; }
int SimulatedInstrument::ReadRequests() const { return 0; }
std::vector<std::string> SimulatedInstrument::ReceivedCommands() const { return {}; }
std::size_t SimulatedInstrument::ReceivedCount() const { return 0; }
bool SimulatedInstrument::WaitForCommands(std::size_t, int) const { return false; }
bool SimulatedInstrument::Serving() const { return false; }
bool SimulatedInstrument::HungUp() const { return false; }
LineNoiseCounts SimulatedInstrument::LineNoise() const { return {}; }

#else  // a POSIX system: the server on a pseudo-terminal

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "sim/instrument_model.h"
#include "sim/line_speed.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kHangUpGraceMs = 20;
constexpr int kHangUpPatienceMs = 2000;
// Longest command kept waiting for its terminator; a longer run of bytes is
// taken as one (unknown) command so that line noise cannot grow it forever.
constexpr std::size_t kMaxCommandBytes = 1024;

struct BaudSpeed {
  int baud;
  speed_t speed;
};
constexpr BaudSpeed kSpeeds[] = {{50, B50},       {75, B75},         {110, B110},      {134, B134},     {150, B150},
                                 {200, B200},     {300, B300},       {600, B600},      {1200, B1200},   {1800, B1800},
                                 {2400, B2400},   {4800, B4800},     {9600, B9600},    {19200, B19200}, {38400, B38400},
                                 {57600, B57600}, {115200, B115200}, {230400, B230400}};

speed_t SpeedOf(int baud) {
  for (const BaudSpeed& s : kSpeeds) {
    if (s.baud == baud) return s.speed;
  }
  return B9600;
}

// The baud rate a terminal is set to; 0 when it cannot be read or is not one
// of the usual rates.
int BaudOf(int fd) {
  termios tio{};
  if (fd < 0 || tcgetattr(fd, &tio) != 0) return 0;
  const speed_t speed = cfgetospeed(&tio);
  for (const BaudSpeed& s : kSpeeds) {
    if (s.speed == speed) return s.baud;
  }
  return 0;
}

// The line settings of the instrument's RS-232 port, raw both ways. Raw also
// matters on the pty: an echoing slave would send our replies back to us.
void ConfigureRawLine(int fd, const SimOptions& options) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return;
  cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CRTSCTS);
  tio.c_cflag |= (options.dataBits == 7 ? CS7 : CS8) | CSTOPB | CREAD | CLOCAL;
  if (options.parity != SimParity::None) tio.c_cflag |= PARENB;
  if (options.parity == SimParity::Odd) tio.c_cflag |= PARODD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, SpeedOf(options.baud));
  cfsetospeed(&tio, SpeedOf(options.baud));
  tcsetattr(fd, TCSANOW, &tio);
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// The --log file: one line per received command, flushed at once.
class CommandLog {
 public:
  CommandLog() = default;
  ~CommandLog() { Close(); }
  CommandLog(const CommandLog&) = delete;
  CommandLog& operator=(const CommandLog&) = delete;

  // Creates (truncates) the file. False when it cannot be created.
  bool Open(const std::string& path) {
    Close();
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
  }
  void Close() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    file_ = nullptr;
  }
  void Write(double seconds, const std::string& bytes) {
    if (file_ == nullptr) return;
    std::fprintf(file_, "%.3f\t%s\n", seconds, EscapeCommandBytes(bytes).c_str());
    std::fflush(file_);
  }

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace

struct SimulatedInstrument::Impl {
  explicit Impl(SimOptions opts)
      : options(std::move(opts)),
        model(options),
        noisyLine(options.lineNoise, options.seed, options.parity, options.dataBits) {}

  SimOptions options;
  std::string devicePath;
  std::string error;

  int line = -1;      // pty master, or the served device
  int ownSlave = -1;  // our own descriptor of the pty slave, kept so clients can come and go
  int wake = -1;      // eventfd that tells the thread to stop
  std::thread thread;
  std::atomic<bool> serving{false};
  std::atomic<bool> hungUp{false};
  Clock::time_point started;

  mutable std::mutex mutex;  // guards model, received, receivedCount and noiseCounts
  mutable std::condition_variable commandArrived;
  InstrumentModel model;
  std::deque<std::string> received;  // the latest options.keptCommands commands
  std::size_t receivedCount = 0;
  NoisyLine noisyLine;  // the server thread's alone
  LineNoiseCounts noiseCounts;

  CommandLog log;
  std::string pending;  // bytes of a command still waiting for its terminator

  double Seconds() const { return std::chrono::duration<double>(Clock::now() - started).count(); }

  bool OpenPty();
  bool OpenDevice();
  void Serve();
  int ClientBaud() const;
  bool HandleCommand(const std::string& bytes);
  bool WaitUntil(Clock::time_point when);
  bool SendPaced(const std::string& text, ReplyNoise& noise, Clock::time_point first);
  bool WriteChunk(const char* bytes, std::size_t count);
  bool WaitForReaderToCatchUp();
  void HangUp();
  void CloseAll();
};

bool SimulatedInstrument::Impl::OpenPty() {
  line = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (line < 0) {
    error = ErrnoText("posix_openpt");
    return false;
  }
  char name[256];
  if (grantpt(line) != 0 || unlockpt(line) != 0 || ptsname_r(line, name, sizeof name) != 0) {
    error = ErrnoText("pseudo-terminal set-up");
    return false;
  }
  ownSlave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (ownSlave < 0) {
    error = ErrnoText(std::string("open ") + name);
    return false;
  }
  ConfigureRawLine(ownSlave, options);
  devicePath = name;
  return true;
}

bool SimulatedInstrument::Impl::OpenDevice() {
  line = open(options.devicePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (line < 0) {
    error = ErrnoText("open " + options.devicePath);
    return false;
  }
  ConfigureRawLine(line, options);
  devicePath = options.devicePath;
  return true;
}

// Sleeps until `when`; false when asked to stop meanwhile.
bool SimulatedInstrument::Impl::WaitUntil(Clock::time_point when) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(when - Clock::now()).count();
    if (left <= 0) return true;
    timespec timeout{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
    pollfd pfd{wake, POLLIN, 0};
    const int ready = ppoll(&pfd, 1, &timeout, nullptr);
    if (ready > 0) return false;
    if (ready < 0 && errno != EINTR) return false;
  }
}

// The speed the client reads and writes at: what it set on our pseudo-terminal
// (one set of termios for both ends), or the served device's own setting.
// An unknown speed counts as ours.
int SimulatedInstrument::Impl::ClientBaud() const {
  const int baud = BaudOf(ownSlave >= 0 ? ownSlave : line);
  return baud > 0 ? baud : options.baud;
}

// Puts the reply on the line at the line rate, so that a reader sees the
// gaps that a real serial line has. Bytes reach the client as a PC's UART
// hands them on: a FIFO's worth at a time (its receive trigger level), and
// whatever is left once the line goes quiet. Each chunk is written at the
// moment its last byte has arrived, so a reply still ends when it would byte
// by byte, without waking both sides once per byte. A client at another
// speed gets what its UART makes of the bytes. The noisy line then takes each
// chunk as it goes out, so a parity mark lengthens a chunk but not the time
// its characters take on the line. `first` is when the first byte goes out:
// the wait for the reading and the one for the first chunk are one sleep.
bool SimulatedInstrument::Impl::SendPaced(const std::string& reply, ReplyNoise& noise, Clock::time_point first) {
  const auto byteTime = std::chrono::duration<double, std::milli>(ByteTimeMs(options.baud));
  // The client's speed is the one it has once the first chunk is in.
  const std::size_t firstChunk = std::min(kFifoTriggerBytes, reply.size());
  if (firstChunk > 0 &&
      !WaitUntil(first + std::chrono::duration_cast<Clock::duration>(byteTime * static_cast<double>(firstChunk - 1))))
    return false;
  const std::string text = ReceivedAtWrongSpeed(reply, options.baud, ClientBaud());
  for (std::size_t start = 0; start < text.size(); start += kFifoTriggerBytes) {
    const std::size_t count = std::min(kFifoTriggerBytes, text.size() - start);
    const std::size_t last = start + count - 1;
    if (!WaitUntil(first + std::chrono::duration_cast<Clock::duration>(byteTime * static_cast<double>(last))))
      return false;
    const std::string received = noisyLine.Transmit(text.substr(start, count), noise);
    if (!WriteChunk(received.data(), received.size())) return false;
  }
  return true;
}

// Writes `count` bytes to the line; false when asked to stop meanwhile.
bool SimulatedInstrument::Impl::WriteChunk(const char* bytes, std::size_t count) {
  std::size_t written = 0;
  const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(1);
  while (written < count) {
    const ssize_t n = write(line, bytes + written, count - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // Nobody reads the terminal and its input queue is full: drop the rest,
    // as a real line would lose it.
    if (n < 0 && errno == EAGAIN && Clock::now() < giveUp) {
      if (!WaitUntil(Clock::now() + std::chrono::milliseconds(5))) return false;
      continue;
    }
    return true;
  }
  return true;
}

// A pty hang-up discards whatever its reader has not taken yet, so the line
// drops only once the client has read the partial reply (or has had a fair
// chance to): then the fault is the same however loaded the machine is.
bool SimulatedInstrument::Impl::WaitForReaderToCatchUp() {
  const Clock::time_point giveUp = Clock::now() + std::chrono::milliseconds(kHangUpPatienceMs);
  int waiting = 0;
  while (ownSlave >= 0 && ioctl(ownSlave, FIONREAD, &waiting) == 0 && waiting > 0 && Clock::now() < giveUp) {
    if (!WaitUntil(Clock::now() + std::chrono::milliseconds(5))) return false;
  }
  return WaitUntil(Clock::now() + std::chrono::milliseconds(kHangUpGraceMs));
}

void SimulatedInstrument::Impl::HangUp() {
  CloseFd(line);
  CloseFd(ownSlave);
  hungUp = true;
}

// Returns false when the thread must end (stop requested or line dropped).
bool SimulatedInstrument::Impl::HandleCommand(const std::string& bytes) {
  const double now = Seconds();
  log.Write(now, bytes);
  const bool understood = ClientBaud() == options.baud;
  ModelAnswer answer;
  {
    std::lock_guard<std::mutex> lock(mutex);
    ++receivedCount;
    if (options.keptCommands > 0) {
      if (received.size() >= options.keptCommands) received.pop_front();
      received.push_back(bytes);
    }
    const bool terminated = !bytes.empty() && (bytes.back() == '\r' || bytes.back() == '\n');
    if (understood) {
      answer = model.Execute(terminated ? bytes.substr(0, bytes.size() - 1) : bytes, now);
    } else {
      model.ReceiveGarbled();
    }
  }
  commandArrived.notify_all();
  if (answer.text.empty() && !answer.hangUp) return true;
  // The reading starts once the command's last character is in: its characters take their time on the line.
  const auto commandTime = std::chrono::duration<double, std::milli>(ByteTimeMs(options.baud) * bytes.size());
  const Clock::time_point replyStarts = Clock::now() + std::chrono::milliseconds(answer.delayMs) +
                                        std::chrono::duration_cast<Clock::duration>(commandTime);
  ReplyNoise noise;
  bool sent = true;
  if (answer.text.empty()) {
    sent = WaitUntil(replyStarts);
  } else if (answer.pauseAfter < answer.text.size()) {
    sent = SendPaced(answer.text.substr(0, answer.pauseAfter), noise, replyStarts) &&
           SendPaced(answer.text.substr(answer.pauseAfter), noise,
                     Clock::now() + std::chrono::milliseconds(SimulatedInstrument::kSplitPauseMs));
  } else {
    sent = SendPaced(answer.text, noise, replyStarts);
  }
  if (!answer.text.empty()) {
    std::lock_guard<std::mutex> lock(mutex);
    noiseCounts.Add(noise);
  }
  if (!sent) return false;
  if (answer.hangUp) {
    if (!WaitForReaderToCatchUp()) return false;
    HangUp();
    return false;
  }
  return true;
}

void SimulatedInstrument::Impl::Serve() {
  char buffer[256];
  for (;;) {
    pollfd fds[2] = {{wake, POLLIN, 0}, {line, POLLIN, 0}};
    const int ready = poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) break;
    if ((fds[1].revents & POLLIN) == 0) {
      // A served device whose far end went away: wait instead of spinning.
      if (!WaitUntil(Clock::now() + std::chrono::milliseconds(50))) break;
      continue;
    }
    const ssize_t n = read(line, buffer, sizeof buffer);
    if (n <= 0) {
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (!WaitUntil(Clock::now() + std::chrono::milliseconds(50))) break;
      continue;
    }
    bool goOn = true;
    for (ssize_t i = 0; i < n && goOn; ++i) {
      pending += buffer[i];
      if (buffer[i] == '\r' || buffer[i] == '\n' || pending.size() >= kMaxCommandBytes) {
        goOn = HandleCommand(pending);
        pending.clear();
      }
    }
    if (!goOn) break;
  }
  serving = false;
}

void SimulatedInstrument::Impl::CloseAll() {
  CloseFd(line);
  CloseFd(ownSlave);
  CloseFd(wake);
  if (!pending.empty()) log.Write(Seconds(), pending);
  pending.clear();
  log.Close();
}

SimulatedInstrument::SimulatedInstrument(SimOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

SimulatedInstrument::~SimulatedInstrument() { Stop(); }

bool SimulatedInstrument::Start() {
  Impl& d = *impl_;
  if (d.thread.joinable() || d.line >= 0) {
    d.error = "already started";
    return false;
  }
  d.error.clear();
  d.hungUp = false;
  const bool opened = d.options.devicePath.empty() ? d.OpenPty() : d.OpenDevice();
  if (!opened) {
    d.CloseAll();
    return false;
  }
  if (!d.options.logPath.empty() && !d.log.Open(d.options.logPath)) {
    d.error = ErrnoText("open log " + d.options.logPath);
    d.CloseAll();
    return false;
  }
  d.wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (d.wake < 0) {
    d.error = ErrnoText("eventfd");
    d.CloseAll();
    return false;
  }
  const int flags = fcntl(d.line, F_GETFL);
  if (flags >= 0) fcntl(d.line, F_SETFL, flags | O_NONBLOCK);
  d.started = Clock::now();
  d.serving = true;
  d.thread = std::thread([&d] { d.Serve(); });
  return true;
}

void SimulatedInstrument::Stop() {
  Impl& d = *impl_;
  if (d.thread.joinable()) {
    const std::uint64_t one = 1;
    if (write(d.wake, &one, sizeof one) < 0) {
      // The eventfd cannot be full after one write; nothing else to do.
    }
    d.thread.join();
  }
  d.serving = false;
  d.CloseAll();
}

const std::string& SimulatedInstrument::DevicePath() const { return impl_->devicePath; }
const std::string& SimulatedInstrument::Error() const { return impl_->error; }

bool SimulatedInstrument::OutputOn() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->model.OutputOn();
}

double SimulatedInstrument::SourceVolts() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->model.SourceVolts();
}

double SimulatedInstrument::ComplianceA() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->model.ComplianceA();
}

int SimulatedInstrument::ReadRequests() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->model.ReadRequests();
}

std::vector<std::string> SimulatedInstrument::ReceivedCommands() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return std::vector<std::string>(impl_->received.begin(), impl_->received.end());
}

std::size_t SimulatedInstrument::ReceivedCount() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->receivedCount;
}

bool SimulatedInstrument::WaitForCommands(std::size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  return impl_->commandArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                        [this, count] { return impl_->receivedCount >= count; });
}

bool SimulatedInstrument::Serving() const { return impl_->serving; }
bool SimulatedInstrument::HungUp() const { return impl_->hungUp; }

LineNoiseCounts SimulatedInstrument::LineNoise() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->noiseCounts;
}

#endif
