// The simulated SourceMeter's interpreter: what one command line costs, for
// Ivra's own sample exchange and for a driver's long program messages.
#include <benchmark/benchmark.h>

#include "sim/instrument_model.h"

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

}  // namespace

BENCHMARK_MAIN();
