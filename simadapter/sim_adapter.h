// What stands between a client and the simulated instrument on a bench that
// is not plain RS-232: a serial bridge that carries the line over TCP (as
// ser2net or a LAN-to-RS-232 box does), a Prologix GPIB controller on a
// pseudo-terminal of its own (GPIB-USB), or both at once (GPIB-ETHERNET).
//
// The adapter opens the instrument's line as a client would, at the
// instrument's speed and character form, and serves its own front from a
// thread of its own: a pseudo-terminal, or a TCP port that takes one client
// at a time (a second one is turned away while the first is connected; a
// client that leaves makes room for the next). POSIX only: elsewhere Start
// fails with a reason.
#pragma once

#include <memory>
#include <string>

#include "sim/sim_options.h"

struct SimAdapterOptions {
  bool prologix = false;  // a Prologix controller in front of the instrument
  int gpibAddress = 24;   // the instrument's address on the simulated bus
  bool listen = false;    // the front is a TCP port, not a pseudo-terminal
  std::string listenHost = "127.0.0.1";
  int listenPort = 0;  // 0: a free port, chosen by the system
};

class SimAdapter {
 public:
  // `instrument` describes the simulated instrument whose line is at
  // `instrumentDevice` (its speed and character form).
  SimAdapter(SimAdapterOptions options, std::string instrumentDevice, SimOptions instrument);
  ~SimAdapter();
  SimAdapter(const SimAdapter&) = delete;
  SimAdapter& operator=(const SimAdapter&) = delete;

  // Opens the instrument's line and the front, then serves. False, with a
  // reason in Error(), when either cannot be opened.
  bool Start();
  void Stop();

  // Where clients connect: the front's device path, or HOST:PORT (an IPv6
  // host in brackets), valid after Start.
  const std::string& Where() const;
  // tcp://HOST:PORT for a TCP front, the device path otherwise.
  std::string ClientAddress() const;
  const std::string& Error() const;
  // Data lines the controller dropped because nobody listens at their address.
  int DroppedDataLines() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
