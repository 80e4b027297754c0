#include "programs/ivra-run/run_ticks.h"

#include <cmath>
#include <cstdint>

#include "process/stop_request.h"
#include "programs/ivra-run/tick_schedule.h"

namespace {

// Below a second: every slot of the run's grid, waited for on the stop request.
void RunGrid(MeasurementRun& run, TerminalFrontEnd& frontEnd) {
  Clock& clock = run.RunClock();
  while (run.Measuring() && StopSignalNumber() == 0) {
    const std::int64_t wait = run.NextSlotMs() - clock.NowMs();
    if (wait > 0) {
      WaitForStopRequest(wait);
      continue;
    }
    run.SampleSlot(frontEnd);
  }
}

}  // namespace

void RunTicks(MeasurementRun& run, TerminalFrontEnd& frontEnd) {
  if (run.OnGrid()) {
    RunGrid(run, frontEnd);
    return;
  }
  Clock& clock = run.RunClock();
  TickSchedule schedule(std::llround(run.StartTime() * 1000.0));
  while (run.Measuring() && StopSignalNumber() == 0) {
    const std::int64_t wait = schedule.WaitMs(clock.NowMs());
    if (wait > 0) {
      WaitForStopRequest(wait);
      continue;
    }
    schedule.Take(clock.NowMs());
    frontEnd.Tick();
  }
}
