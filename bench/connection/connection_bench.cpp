// The time a sample takes over each kind of connection against the simulated
// SourceMeter 2400 at NPLC 0.01 with auto-zero off (so that the line and the
// connection dominate): a serial port at 9600 and 57600 baud, a serial bridge
// on TCP loopback, a Prologix GPIB-USB controller on a pseudo-terminal, and a
// GPIB-ETHERNET controller on TCP loopback (the instrument's line behind the
// last three at 57600 baud). Also the time from Open to the first reading
// (*RST, :OUTP ON, the settings, one :READ?), and how long a bridge that comes
// back takes to accept the connection again.
//
//   ivra_connection_bench [samples per kind]     (default 200)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "connection/connection_link.h"
#include "serial/serial_link.h"
#include "sim/simulated_instrument.h"
#include "simadapter/sim_adapter.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool Send(InstrumentLink& link, const std::string& command) {
  return link.Write(command.data(), static_cast<int>(command.size()));
}

bool Reading(InstrumentLink& link) {
  if (!Send(link, ":READ?\r")) return false;
  char reply[200];
  return link.ReadLine(reply, sizeof reply, 1000) > 10;
}

struct Kind {
  const char* name;
  int baud;
  bool prologix;
  bool listen;
};

void Measure(const Kind& kind, int samples) {
  SimOptions instrumentOptions;
  instrumentOptions.baud = kind.baud;
  SimulatedInstrument instrument(instrumentOptions);
  if (!instrument.Start()) {
    std::printf("%-28s cannot start the simulator: %s\n", kind.name, instrument.Error().c_str());
    return;
  }
  std::unique_ptr<SimAdapter> adapter;
  std::string where = instrument.DevicePath();
  if (kind.prologix || kind.listen) {
    SimAdapterOptions front;
    front.prologix = kind.prologix;
    front.listen = kind.listen;
    adapter = std::make_unique<SimAdapter>(front, instrument.DevicePath(), instrumentOptions);
    if (!adapter->Start()) {
      std::printf("%-28s cannot start the adapter: %s\n", kind.name, adapter->Error().c_str());
      return;
    }
    where = adapter->ClientAddress();
  }

  ConnectionInstrumentLink link;
  link.SetBaudRate(kind.baud);
  if (kind.prologix) link.SetGpibAddress(24);
  const Clock::time_point opening = Clock::now();
  PortOpenError error;
  if (!link.Open(where, &error)) {
    std::printf("%-28s cannot open %s\n", kind.name, where.c_str());
    return;
  }
  const double openMs = MsSince(opening);
  Send(link, "*RST\r");
  Send(link, ":SENS:CURR:NPLC 0.01;:SYST:AZER OFF\r");
  Send(link, ":OUTP ON\r");
  const bool first = Reading(link);
  const double firstMs = MsSince(opening);

  std::vector<double> times;
  for (int i = 0; i < samples && first; ++i) {
    const Clock::time_point start = Clock::now();
    if (!Reading(link)) break;
    times.push_back(MsSince(start));
  }
  Send(link, ":OUTP OFF\r");
  link.Close();
  if (times.empty()) {
    std::printf("%-28s no reading\n", kind.name);
    return;
  }
  std::sort(times.begin(), times.end());
  double sum = 0.0;
  for (double t : times) sum += t;
  std::printf("%-28s %8.2f %8.2f %8.2f %8.1f %10.1f\n", kind.name, sum / times.size(), times[times.size() / 2],
              times[std::min(times.size() - 1, times.size() * 99 / 100)], openMs, firstMs);
}

// A bridge that goes away and comes back on the same port: the time from its
// return until a connection is made (the run then tries at each due sample).
void Reconnect() {
  SimOptions instrumentOptions;
  SimulatedInstrument instrument(instrumentOptions);
  if (!instrument.Start()) return;
  SimAdapterOptions front;
  front.listen = true;
  auto bridge = std::make_unique<SimAdapter>(front, instrument.DevicePath(), instrumentOptions);
  if (!bridge->Start()) return;
  const std::string address = bridge->ClientAddress();
  front.listenPort = std::atoi(address.substr(address.rfind(':') + 1).c_str());
  bridge.reset();
  TcpInstrumentLink link;
  PortOpenError error;
  const bool refused = !link.Open(address, &error) && error.problem == PortOpenProblem::Refused;
  const Clock::time_point back = Clock::now();
  bridge = std::make_unique<SimAdapter>(front, instrument.DevicePath(), instrumentOptions);
  if (!bridge->Start()) return;
  int tries = 0;
  while (!link.Open(address, &error) && ++tries < 100) {
  }
  std::printf("bridge gone: %s; back: connected %.2f ms after it listened again (%d failed tries)\n",
              refused ? "refused at once" : "not refused", MsSince(back), tries);
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  std::printf("%-28s %8s %8s %8s %8s %10s   (ms; %d samples each)\n", "connection", "mean", "median", "p99", "open",
              "1st read", samples);
  const Kind kinds[] = {
      {"serial 9600", 9600, false, false},
      {"serial 57600", 57600, false, false},
      {"tcp bridge (line 57600)", 57600, false, true},
      {"prologix usb (line 57600)", 57600, true, false},
      {"prologix ethernet (57600)", 57600, true, true},
  };
  for (const Kind& kind : kinds) Measure(kind, samples);
  Reconnect();
  return 0;
}
