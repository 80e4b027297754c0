// The far end of a pseudo-terminal for link tests: the test writes and reads
// the master side while SerialLink opens the slave through the port table.
#pragma once

#include <string>

class PtyPeer {
 public:
  PtyPeer();
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool ok() const { return master_ >= 0 && slave_ >= 0; }
  const std::string& SlavePath() const { return slavePath_; }
  // Our own descriptor of the slave: it keeps the terminal alive while the
  // link closes and reopens it, and lets tests look at the line settings.
  int SlaveFd() const { return slave_; }

  void Send(const std::string& bytes);
  // Everything that arrives on the master within `waitMs` after the last byte.
  std::string Receive(int waitMs);
  // Closes both of our descriptors: the link sees the line drop.
  void HangUp();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// Milliseconds of processor time this process has used so far.
double ProcessCpuMs();
