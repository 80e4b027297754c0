// Why SerialLink::Open refuses a device, told from real devices: a pty owned by
// another group, a port another process holds, a file, a missing path.
#include <cstdio>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "pty_peer.h"
#include "serial/serial_link.h"

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

struct ChildOpen {
  bool opened = false;
  PortOpenProblem problem = PortOpenProblem::None;
  std::string group;
};

// Opens `path` in a child that has dropped root for the user nobody, with
// `extraGroup` (or none) as its only supplementary group.
ChildOpen OpenAsNobody(const std::string& path, gid_t extraGroup) {
  int result[2];
  if (pipe(result) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    close(result[0]);
    const gid_t groups[] = {extraGroup};
    const bool dropped = setgroups(extraGroup == 0 ? 0 : 1, groups) == 0 &&
                         setresgid(kNoGroup, kNoGroup, kNoGroup) == 0 && setresuid(kNobody, kNobody, kNobody) == 0;
    PortOpenError error;
    SerialLink link;
    const bool opened = dropped && link.Open(path, &error);
    link.Close();
    std::string reply = std::string(dropped ? "" : "!") + (opened ? "1" : "0") +
                        static_cast<char>('0' + static_cast<int>(error.problem)) + error.group;
    if (write(result[1], reply.data(), reply.size()) < 0) _exit(1);
    _exit(0);
  }
  close(result[1]);
  char buffer[256];
  const ssize_t got = read(result[0], buffer, sizeof buffer);
  close(result[0]);
  waitpid(child, nullptr, 0);
  ChildOpen open;
  if (got < 2 || buffer[0] == '!') return open;
  open.opened = buffer[0] == '1';
  open.problem = static_cast<PortOpenProblem>(buffer[1] - '0');
  open.group.assign(buffer + 2, static_cast<std::size_t>(got - 2));
  return open;
}

std::string TempPath(const char* name) { return "/tmp/ivra-port-open-" + std::to_string(getpid()) + "-" + name; }

}  // namespace

TEST(PortOpen, AUserOutsideTheDevicesGroupIsToldTheGroupAndAMemberGetsIn) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand the pty to another group and drop to nobody";
  const group* dialout = getgrnam("dialout");
  ASSERT_NE(dialout, nullptr);
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  ASSERT_EQ(chown(peer.SlavePath().c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(chmod(peer.SlavePath().c_str(), 0660), 0);

  const ChildOpen outsider = OpenAsNobody(peer.SlavePath(), 0);
  EXPECT_FALSE(outsider.opened);
  EXPECT_EQ(outsider.problem, PortOpenProblem::PermissionDenied);
  EXPECT_EQ(outsider.group, "dialout");

  const ChildOpen member = OpenAsNobody(peer.SlavePath(), dialout->gr_gid);
  EXPECT_TRUE(member.opened) << "problem " << static_cast<int>(member.problem);
}

TEST(PortOpen, APortHeldByAnotherProcessIsBusyAndNamesIt) {
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  if (child == 0) {
    SerialLink holder;
    const char ok = holder.Open(peer.SlavePath()) ? '1' : '0';
    if (write(ready[1], &ok, 1) != 1) _exit(1);
    char go;
    if (read(release[0], &go, 1) < 0) _exit(1);
    holder.Close();
    _exit(0);
  }
  char childOpened = '?';
  ASSERT_EQ(read(ready[0], &childOpened, 1), 1);
  ASSERT_EQ(childOpened, '1');

  PortOpenError error;
  SerialLink link;
  EXPECT_FALSE(link.Open(peer.SlavePath(), &error));
  EXPECT_EQ(error.problem, PortOpenProblem::Busy);
  EXPECT_EQ(error.path, peer.SlavePath());
  EXPECT_NE(error.holder.find("(pid " + std::to_string(child) + ")"), std::string::npos) << error.holder;

  ASSERT_EQ(write(release[1], "x", 1), 1);
  waitpid(child, nullptr, 0);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST(PortOpen, AnythingButATerminalIsRefusedUntouchedAndAMissingPathIsNoDevice) {
  const std::string file = TempPath("file");
  std::ofstream(file) << "keep me\n";
  const std::string fifo = TempPath("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

  SerialLink link;
  for (const std::string& path : {file, fifo, std::string("/dev/null")}) {
    PortOpenError error;
    EXPECT_FALSE(link.Open(path, &error)) << path;  // the FIFO must not block here either
    EXPECT_EQ(error.problem, PortOpenProblem::NotATerminal) << path;
    EXPECT_FALSE(link.IsOpen());
  }
  std::ifstream in(file);
  std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(contents, "keep me\n");
  std::remove(file.c_str());
  std::remove(fifo.c_str());

  PortOpenError error;
  EXPECT_FALSE(link.Open("/dev/ivra-no-such-port", &error));
  EXPECT_EQ(error.problem, PortOpenProblem::NoSuchDevice);
  EXPECT_EQ(error.path, "/dev/ivra-no-such-port");
}
