// The simulated SourceMeter's interpreter: what one command line costs, for
// Ivra's own sample exchange and for a driver's long program messages; and
// what turning a reply into line noise costs at a wrong line speed.
#include <benchmark/benchmark.h>

#include "sim/instrument_model.h"
#include "sim/line_speed.h"

namespace {

void IvraSample(benchmark::State& state) {
  InstrumentModel model(SimOptions{});
  model.Execute("*RST", 0);
  model.Execute(":OUTP ON", 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(model.Execute(":SOUR:VOLT 0.50000", 1.0));
    benchmark::DoNotOptimize(model.Execute(":READ?", 1.0));
  }
}
BENCHMARK(IvraSample);

void DriverResetLine(benchmark::State& state) {
  InstrumentModel model(SimOptions{});
  for (auto _ : state) {
    benchmark::DoNotOptimize(model.Execute("status:queue:clear;*RST;:stat:pres;:*CLS;", 1.0));
    benchmark::DoNotOptimize(model.Execute(":SENS:FUNC 'CURR';:SENS:CURR:NPLC 1.000000;:FORM:ELEM CURR;", 1.0));
  }
}
BENCHMARK(DriverResetLine);

void UnknownHeader(benchmark::State& state) {
  InstrumentModel model(SimOptions{});
  for (auto _ : state) {
    benchmark::DoNotOptimize(model.Execute(":SOUR:SWE:SPAC LIN", 1.0));
    model.Execute("*CLS", 1.0);
  }
}
BENCHMARK(UnknownHeader);

// A reading reply as a client at 19200 baud hears the instrument at 9600.
void ReplyAtWrongSpeed(benchmark::State& state) {
  const std::string reply = "+5.000000E-01,+5.000000E-07,+9.910000E+37,+1.234568E+01,+2.150800E+04\r";
  for (auto _ : state) benchmark::DoNotOptimize(ReceivedAtWrongSpeed(reply, 9600, 19200));
}
BENCHMARK(ReplyAtWrongSpeed);

}  // namespace

BENCHMARK_MAIN();
