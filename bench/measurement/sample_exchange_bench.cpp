// Times one sample exchange against the simulated SourceMeter 2400 over a
// pseudo-terminal, phase by phase: the discard of waiting input (nothing waits
// on a healthy line), the set-voltage command, the reading
// request, the reply (100 ms wait, the reply at the line rate, the link's
// 200 ms interval time-out) and the judging of the reply. The total is the
// latency from a tick to the sample's time stamp.
//
//   ivra_measurement_bench [samples]     (default 20)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "instrument/instrument_link.h"
#include "instrument/instrument_protocol.h"
#include "process/clock.h"
#include "run/sample_history.h"
#include "sim/simulated_instrument.h"

namespace {

using Stopwatch = std::chrono::steady_clock;

double MsBetween(Stopwatch::time_point a, Stopwatch::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

void Print(const char* phase, std::vector<double> values) {
  std::sort(values.begin(), values.end());
  double sum = 0;
  for (double v : values) sum += v;
  std::printf("%-28s mean %8.2f ms   min %8.2f   median %8.2f   max %8.2f\n", phase, sum / values.size(),
              values.front(), values[values.size() / 2], values.back());
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  SimulatedInstrument sim;
  if (!sim.Start()) {
    std::fprintf(stderr, "cannot start the simulator: %s\n", sim.Error().c_str());
    return 1;
  }
  SerialInstrumentLink link;
  ProcessClock clock;
  if (!link.Open(sim.DevicePath(), nullptr)) {
    std::fprintf(stderr, "cannot open %s\n", sim.DevicePath().c_str());
    return 1;
  }
  SendCommand(link, kResetCommand);
  SendCommand(link, kOutputOnCommand);

  std::vector<double> discard, setVoltage, readRequest, reply, parse, total;
  int discarded = 0;
  int parsed = 0;
  char exchange[kExchangeBufferSize];
  for (int i = 0; i < samples; ++i) {
    const Stopwatch::time_point t00 = Stopwatch::now();
    discarded += link.DiscardInput();
    const Stopwatch::time_point t0 = Stopwatch::now();
    SendCommand(link, FormatSetVoltageCommand(0.5).c_str());
    const Stopwatch::time_point t1 = Stopwatch::now();
    SendCommand(link, kReadCommand);
    const Stopwatch::time_point t2 = Stopwatch::now();
    const int received = ReadResponse(link, clock, exchange);
    const Stopwatch::time_point t3 = Stopwatch::now();
    LatestReading reading;
    parsed += JudgeReply(exchange, received, reading) == ReplyVerdict::Reading ? 1 : 0;
    const Stopwatch::time_point t4 = Stopwatch::now();
    discard.push_back(MsBetween(t00, t0));
    setVoltage.push_back(MsBetween(t0, t1));
    readRequest.push_back(MsBetween(t1, t2));
    reply.push_back(MsBetween(t2, t3));
    parse.push_back(MsBetween(t3, t4));
    total.push_back(MsBetween(t00, t4));
  }
  SendCommand(link, kOutputOffCommand);

  std::printf("%d sample exchanges against the simulator on %s, %d parsed\n", samples, sim.DevicePath().c_str(),
              parsed);
  Print("discard waiting input", discard);
  Print("set voltage (19 writes)", setVoltage);
  Print("read request (7 writes)", readRequest);
  Print("wait + reply + time-out", reply);
  Print("judge the reply", parse);
  Print("tick to time stamp", total);
  // The discard alone, many times over, for a figure below the clock's grain.
  constexpr int kDiscards = 100000;
  const Stopwatch::time_point d0 = Stopwatch::now();
  for (int i = 0; i < kDiscards; ++i) discarded += link.DiscardInput();
  const double each = MsBetween(d0, Stopwatch::now()) * 1000.0 / kDiscards;
  std::printf("discard with nothing waiting: %.2f us each (%d calls); %d bytes discarded in all\n", each, kDiscards,
              discarded);
  link.Close();
  return parsed == samples && discarded == 0 ? 0 : 1;
}
