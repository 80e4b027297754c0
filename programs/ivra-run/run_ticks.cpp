#include "programs/ivra-run/run_ticks.h"

#include <cmath>
#include <cstdint>

#include "process/stop_request.h"
#include "programs/ivra-run/tick_schedule.h"

namespace {

// A stop request while measuring: the first brings the output down (at once
// without a ramp), a second one on the way down switches it off at once.
void TakeStopRequest(MeasurementRun& run, TerminalFrontEnd& frontEnd) {
  run.StopAfterRampDown(frontEnd, RunEndReason::Signal, StopSignalNumber());
  // On the way down reads must wait for their replies again; the next request is the second.
  if (run.Measuring()) ClearStopRequest();
}

// Below a second: every slot of the run's grid, waited for on the stop request.
void RunGrid(MeasurementRun& run, TerminalFrontEnd& frontEnd) {
  Clock& clock = run.RunClock();
  while (run.Measuring()) {
    const std::int64_t wait = run.NextSlotMs() - clock.NowMs();
    if (WaitForStopRequest(0)) {
      TakeStopRequest(run, frontEnd);
    } else if (wait > 0) {
      WaitForStopRequest(wait);
    } else {
      run.SampleSlot(frontEnd);
    }
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
  // A resumed run is well into its time: its next tick is the first on its grid from now.
  if (run.TickCount() > 0) schedule.Take(clock.NowMs());
  while (run.Measuring()) {
    const std::int64_t wait = schedule.WaitMs(clock.NowMs());
    if (WaitForStopRequest(0)) {
      TakeStopRequest(run, frontEnd);
    } else if (wait > 0) {
      WaitForStopRequest(wait);
    } else {
      schedule.Take(clock.NowMs());
      frontEnd.Tick();
    }
  }
}
