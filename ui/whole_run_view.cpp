#include "ui/whole_run_view.h"

#include <algorithm>

namespace {

// Values kept per sample: the four channels of the live view.
constexpr int kStoredChannels = 4;

}  // namespace

WholeRunRecord::WholeRunRecord() : m_store(std::make_unique<RunStore>(kStoredChannels)) {}

void WholeRunRecord::Take(const RunSnapshot& run) {
  const int taken = run.counters.samplesTaken;
  if (taken < m_samplesTaken || run.tickCount < m_tickCount) {
    m_store = std::make_unique<RunStore>(kStoredChannels);
    m_samplesTaken = 0;
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
  m_zoom.Paint(surface, client, m_record.Store(), WholeRunChannel(channel), rememberFrame);
}
