#include "ui/whole_run_view.h"

#include <algorithm>
#include <cstdint>

namespace {

// Values kept per sample: the four channels of the live view.
constexpr int kStoredChannels = 4;

// Light, so the lines mark the steps without hiding the curve.
constexpr Colour kStepLineColour = MakeColour(160, 160, 160);

// The starts of the steps after the first, up to the `reached`-th step of
// all passes (counted from 0 over the passes).
void FindStepChanges(const BiasSchedule& schedule, int reached, std::vector<double>& changes) {
  changes.clear();
  std::int64_t at = 0;
  int index = 0;
  for (int pass = 0; pass < schedule.repeat; ++pass) {
    for (const BiasStep& step : schedule.steps) {
      if (++index > reached) return;
      at += step.durationMs;
      changes.push_back(static_cast<double>(at) / 1000.0);
    }
  }
}

// The samples of a data file, each into the store's four channels and the live view's history.
class ContinuedRunSink final : public DataLineSink {
 public:
  ContinuedRunSink(RunStore& store, SampleHistory& tail, double volts) : m_store(store), m_tail(tail), m_volts(volts) {}
  bool TakeSample(double seconds, double microamperes) override {
    return TakeSampleWithVolts(seconds, microamperes, m_volts);
  }
  bool TakeSampleWithVolts(double seconds, double microamperes, double volts) override {
    const double values[kStoredChannels] = {microamperes, volts, 0.0, 0.0};
    if (!m_store.Append(seconds, values)) return false;
    LatestReading reading;
    reading.time = seconds;
    reading.current = microamperes * 1e-6;
    reading.voltage = volts;
    m_tail.Append(reading);
    return true;
  }

 private:
  RunStore& m_store;
  SampleHistory& m_tail;
  double m_volts;
};

}  // namespace

WholeRunRecord::WholeRunRecord() : m_store(std::make_unique<RunStore>(kStoredChannels)) {}

void WholeRunRecord::Take(const RunSnapshot& run) {
  const int taken = run.counters.samplesTaken;
  if (taken < m_samplesTaken || run.tickCount < m_tickCount) {
    m_store = std::make_unique<RunStore>(kStoredChannels);
    m_samplesTaken = 0;
    m_reachedStep = 0;
  }
  m_tickCount = run.tickCount;
  const SampleHistory& history = run.history;
  const int fresh = std::min(taken - m_samplesTaken, history.count);
  for (int i = history.count - fresh; i < history.count; ++i) {
    const double values[kStoredChannels] = {history.rows[1][i] * 1e6, history.rows[2][i], history.rows[3][i],
                                            history.rows[4][i]};
    m_store->Append(history.rows[0][i], values);
  }
  m_samplesTaken = std::max(m_samplesTaken, taken);
  // Only the steps the run did reach: a Stop's way down ends the schedule early.
  if (run.stepInForce && run.settings.bias.HasSteps()) {
    const int count = static_cast<int>(run.settings.bias.steps.size());
    m_reachedStep = std::max(m_reachedStep, run.step.pass * count + run.step.step);
  }
  FindStepChanges(run.settings.bias, m_reachedStep, m_stepChanges);
}

DataFileStatus WholeRunRecord::ContinueFrom(const std::string& path, double volts, int samplesTaken,
                                            SampleHistory& tail) {
  m_store = std::make_unique<RunStore>(kStoredChannels);
  tail.Clear();
  ContinuedRunSink sink(*m_store, tail, volts);
  const DataFileStatus status = ReadDataFile(path, sink).status;
  // The run's first snapshot then adds nothing twice, and starts nothing afresh.
  m_samplesTaken = samplesTaken;
  m_tickCount = 0;
  m_reachedStep = 0;
  return status;
}

SampleHistory JoinedHistory(const SampleHistory& earlier, const SampleHistory& recent) {
  SampleHistory joined;
  const int fromEarlier = std::min(earlier.count, SampleHistory::kMaxSamples - recent.count);
  for (int r = 0; r < SampleHistory::kRowCount; ++r) {
    std::copy(earlier.rows[r] + earlier.count - fromEarlier, earlier.rows[r] + earlier.count, joined.rows[r]);
    std::copy(recent.rows[r], recent.rows[r] + recent.count, joined.rows[r] + fromEarlier);
  }
  joined.count = fromEarlier + recent.count;
  return joined;
}

RunPlotRequest WholeRunChannel(int channel) {
  RunPlotRequest request;
  request.channel = std::clamp(channel, 0, kStoredChannels - 1);
  switch (request.channel) {
    case 0:
      request.quantity = "Current";
      request.unit = "uA";
      break;
    case 1:
      request.quantity = "Voltage";
      request.unit = "V";
      break;
    default: request.quantity = "Channel " + std::to_string(request.channel + 1); request.unit.clear();
  }
  return request;
}

void WholeRunView::Paint(DrawingSurface& surface, const SurfaceRect& client, int channel, bool rememberFrame) {
  const RunPlotFrame frame = m_zoom.Paint(surface, client, m_record.Store(), WholeRunChannel(channel), rememberFrame);
  if (m_record.StepChanges().empty() || frame.bottom <= frame.top) return;
  const PenDescription previous = surface.SelectPen(PenDescription{kStepLineColour, 1});
  for (double t : m_record.StepChanges()) {
    if (t <= frame.from || t >= frame.to) continue;
    const int x = frame.ColumnAt(t);
    surface.MoveTo(x, frame.top + 1);
    surface.LineTo(x, frame.bottom);
  }
  surface.SelectPen(previous);
}
