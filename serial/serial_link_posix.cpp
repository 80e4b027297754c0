// The serial link on POSIX termios. The port is a non-blocking descriptor; every
// wait is a poll() against a deadline on the monotonic clock, so the Windows
// time-out rules hold on any tty (a UART, a USB adapter or a pseudo-terminal).
#include "serial/serial_link.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "process/clock.h"
#include "process/stop_request.h"
#include "serial/port_holder.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long Close waits for queued output to leave the port at most.
constexpr std::chrono::milliseconds kCloseDrainLimit{2000};

// Milliseconds from now until `deadline`, rounded up so that a poll never
// returns just before the deadline and sends the caller round again.
int MsUntil(SteadyClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - SteadyClock::now());
  if (left.count() <= 0) return 0;
  return static_cast<int>((left.count() + 999) / 1000);
}

speed_t SpeedFor(int baud) {
  switch (baud) {
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    default: return B9600;
  }
}

void ConfigureLine(int fd, int baud, const LineFormat& format) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) std::memset(&tio, 0, sizeof tio);

  // Raw bytes both ways: no echo, no line editing, no signals, no CR/LF
  // translation, no output processing, no software flow control.
  tio.c_iflag &=
      ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  // 8 data bits and no parity unless the bench chose another of the
  // instrument's formats, 2 stop bits, receiver on, modem status lines
  // ignored, no RTS/CTS handshake.
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CRTSCTS);
  tio.c_cflag |= (format.dataBits == 7 ? CS7 : CS8) | CSTOPB | CREAD | CLOCAL;
  if (format.parity != Parity::None) {
    // Check every byte and mark a damaged one (0xFF 0x00 byte) instead of
    // passing it on as if it were sound; a sound 0xFF would come doubled.
    tio.c_cflag |= PARENB | (format.parity == Parity::Odd ? PARODD : 0);
    tio.c_iflag |= INPCK | PARMRK;
  }
  // Reads never block in the driver; poll() does the waiting.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, SpeedFor(baud));
  cfsetospeed(&tio, SpeedFor(baud));
  tcsetattr(fd, TCSANOW, &tio);

  // DTR up, RTS low. A pseudo-terminal has no modem lines (ENOTTY): fine.
  int dtr = TIOCM_DTR;
  ioctl(fd, TIOCMBIS, &dtr);
  int rts = TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &rts);
}

// The errors of a terminal that has been hung up or whose device is gone.
bool IsLossError(int error) { return error == EIO || error == ENXIO || error == ENODEV || error == EBADF; }

// A readable port that yields no byte is either hung up or was drained by
// nobody else: asking the driver tells which.
bool PortGone(int fd) {
  int waiting = 0;
  return ioctl(fd, FIONREAD, &waiting) != 0 && IsLossError(errno);
}

// Waits until the driver's output queue is empty, for at most the close limit;
// a lost port or a device without an output count ends the wait at once.
// Output stuck in the queue past the limit, or a port that is gone, counts as lost.
// Returns false when the port counts as lost.
bool WaitForOutputToLeave(int fd) {
  const SteadyClock::time_point deadline = SteadyClock::now() + kCloseDrainLimit;
  for (;;) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0) {
      return !IsLossError(errno);
    }
    if (queued <= 0) break;
    if (SteadyClock::now() >= deadline) return false;
    poll(nullptr, 0, 2);
  }
  // The driver queue is empty; tcdrain now only waits for the last few bytes
  // in the transmitter, which cannot stall with flow control off.
  tcdrain(fd);
  return true;
}

// Fills `error` (when given) and returns false.
bool Fail(PortOpenError* error, const std::string& path, PortOpenProblem problem, int systemError = 0) {
  if (error == nullptr) return false;
  error->problem = problem;
  error->path = path;
  error->systemError = systemError;
  if (problem == PortOpenProblem::PermissionDenied) error->group = DeviceGroupName(path);
  if (problem == PortOpenProblem::Busy) error->holder = FindPortHolder(path);
  return false;
}

PortOpenProblem ProblemOfOpenErrno(int err) {
  switch (err) {
    case EACCES:
    case EPERM: return PortOpenProblem::PermissionDenied;
    case EBUSY:  // TIOCEXCL set by another opener
      return PortOpenProblem::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO:  // a device node with no UART behind it
      return PortOpenProblem::NoSuchDevice;
    default: return PortOpenProblem::Other;
  }
}

}  // namespace

struct SerialLink::Port {
  int fd = -1;        // -1 while no port is open
  bool lost = false;  // see SerialLink::Lost
};

SerialLink::SerialLink() : port_(std::make_unique<Port>()) {}

SerialLink::~SerialLink() { Close(); }

bool SerialLink::Open(const std::string& path, PortOpenError* error, int baud, const LineFormat& format) {
  if (port_->fd >= 0) Close();
  port_->lost = false;
  if (error != nullptr) *error = PortOpenError{};
  if (path.empty()) return Fail(error, path, PortOpenProblem::NoSuchDevice);

  // Only character devices are opened at all: a regular file or a FIFO must
  // never receive the instrument's commands, nor block the open.
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return Fail(error, path, ProblemOfOpenErrno(errno), errno);
  if (!S_ISCHR(st.st_mode)) return Fail(error, path, PortOpenProblem::NotATerminal);

  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(error, path, ProblemOfOpenErrno(errno), errno);
  if (isatty(fd) != 1) {  // /dev/null, /dev/zero and the like
    close(fd);
    return Fail(error, path, PortOpenProblem::NotATerminal);
  }
  // Exclusive use, checked before anything is changed on the port: flock holds
  // off every other process (root included); TIOCEXCL also refuses further
  // opens of the terminal by non-root users.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    return Fail(error, path, err == EWOULDBLOCK ? PortOpenProblem::Busy : PortOpenProblem::Other, err);
  }
  ioctl(fd, TIOCEXCL);
  port_->fd = fd;

  ConfigureLine(fd, baud, format);
  ProcessClock().DelayMs(kSettleTimeMs);
  // Discards the input that waited at open time: one read of what is there
  // (at most the drain buffer), then a flush of anything beyond it.
  int waiting = 0;
  if (ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0) {
    char drain[kDrainBufferSize];
    Read(drain, std::min(waiting, kDrainBufferSize));
  }
  tcflush(fd, TCIFLUSH);
  return true;
}

bool SerialLink::Write(const void* bytes, int count) {
  if (port_->fd < 0 || count < 0 || (count > 0 && bytes == nullptr)) return false;
  // Every way a write can fail below means the bytes did not reach the port:
  // with flow control off, even a time-out means the line is gone.
  const auto fail = [this] {
    port_->lost = true;
    return false;
  };
  const auto* p = static_cast<const unsigned char*>(bytes);
  const SteadyClock::time_point deadline =
      SteadyClock::now() +
      std::chrono::milliseconds(static_cast<long long>(kWriteTotalMultiplierMs) * count + kWriteTotalConstantMs);
  int written = 0;
  while (written < count) {
    const ssize_t n = write(port_->fd, p + written, static_cast<size_t>(count - written));
    if (n > 0) {
      written += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return fail();
    const int wait = MsUntil(deadline);
    if (wait <= 0) return fail();
    pollfd pfd{port_->fd, POLLOUT, 0};
    const int ready = poll(&pfd, 1, wait);
    if (ready < 0 && errno != EINTR) return fail();
    if (ready > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return fail();
  }
  return true;
}

int SerialLink::Read(void* buffer, int count) {
  if (port_->fd < 0 || count <= 0 || buffer == nullptr) return 0;
  auto* p = static_cast<unsigned char*>(buffer);
  const SteadyClock::time_point started = SteadyClock::now();
  const SteadyClock::time_point totalDeadline =
      started +
      std::chrono::milliseconds(static_cast<long long>(kReadTotalMultiplierMs) * count + kReadTotalConstantMs);
  SteadyClock::time_point lastByte{};
  int got = 0;
  while (got < count) {
    SteadyClock::time_point deadline = totalDeadline;
    if (got > 0) deadline = std::min(deadline, lastByte + std::chrono::milliseconds(kReadIntervalTimeoutMs));
    const int wait = MsUntil(deadline);
    if (wait <= 0) break;

    // Once a reply has begun it is read to its end; before that, a stop request
    // need not wait out the whole time-out.
    const int stopFd = StopRequestDescriptor();
    const bool abortable = got == 0 && stopFd >= 0;
    pollfd pfd[2] = {{port_->fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int ready = poll(pfd, abortable ? 2 : 1, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0) continue;  // the loop head decides whether time is up
    if ((pfd[0].revents & POLLIN) == 0) {
      // Nothing to read: a hang-up or error on the port, or a stop request.
      if ((pfd[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) port_->lost = true;
      break;
    }

    const ssize_t n = read(port_->fd, p + got, static_cast<size_t>(count - got));
    if (n > 0) {
      got += static_cast<int>(n);
      lastByte = SteadyClock::now();
    } else if (n == 0) {
      if (PortGone(port_->fd)) port_->lost = true;  // a hung-up terminal reads as end of file
      break;
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      if (IsLossError(errno)) port_->lost = true;
      break;
    }
  }
  return got;
}

int SerialLink::ReadLine(void* buffer, int count, int timeoutMs) {
  if (port_->fd < 0 || count <= 0 || buffer == nullptr) return 0;
  auto* p = static_cast<unsigned char*>(buffer);
  const auto quiet = std::chrono::milliseconds(timeoutMs < 1 ? 1 : timeoutMs);
  SteadyClock::time_point deadline = SteadyClock::now() + quiet;
  int got = 0;
  while (got < count) {
    const int stopFd = StopRequestDescriptor();
    const bool abortable = got == 0 && stopFd >= 0;
    pollfd pfd[2] = {{port_->fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int wait = MsUntil(deadline);
    if (wait <= 0) break;
    const int ready = poll(pfd, abortable ? 2 : 1, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0) continue;
    if ((pfd[0].revents & POLLIN) == 0) {
      if ((pfd[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) port_->lost = true;
      break;
    }
    const ssize_t n = read(port_->fd, p + got, static_cast<size_t>(count - got));
    if (n > 0) {
      const bool ended = std::memchr(p + got, '\r', static_cast<size_t>(n)) != nullptr ||
                         std::memchr(p + got, '\n', static_cast<size_t>(n)) != nullptr;
      got += static_cast<int>(n);
      if (ended) break;
      deadline = SteadyClock::now() + quiet;
    } else if (n == 0) {
      if (PortGone(port_->fd)) port_->lost = true;
      break;
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      if (IsLossError(errno)) port_->lost = true;
      break;
    }
  }
  return got;
}

int SerialLink::DiscardInput() {
  if (port_->fd < 0) return 0;
  int waiting = 0;
  if (ioctl(port_->fd, FIONREAD, &waiting) != 0) {
    if (IsLossError(errno)) port_->lost = true;
    return 0;
  }
  if (waiting <= 0) return 0;
  // Read what is there (to count it) without waiting for more; a reply still
  // arriving is cut here, and its tail is the next sample's to discard.
  int discarded = 0;
  char scratch[kDrainBufferSize];
  for (;;) {
    const ssize_t n = read(port_->fd, scratch, sizeof scratch);
    if (n > 0) {
      discarded += static_cast<int>(n);
      if (n < static_cast<ssize_t>(sizeof scratch)) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if ((n == 0 && PortGone(port_->fd)) || (n < 0 && IsLossError(errno))) port_->lost = true;
    break;
  }
  return discarded;
}

void SerialLink::Close() {
  if (port_->fd < 0) return;
  const int fd = port_->fd;
  port_->fd = -1;
  if (!WaitForOutputToLeave(fd)) port_->lost = true;
  // Where another process keeps the terminal open, the exclusive flag would
  // outlive this descriptor and lock the next opener out.
  ioctl(fd, TIOCNXCL);
  flock(fd, LOCK_UN);
  close(fd);
}

bool SerialLink::IsOpen() const { return port_->fd >= 0; }

bool SerialLink::Lost() const { return port_->lost; }
