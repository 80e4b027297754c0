// The whole-run view: every sample of the measurement from the first to the
// latest, one channel, drawn with min/max columns; a drag across the plot
// zooms into that time span, Home or Escape returns to the whole run. Under a
// schedule of steps a thin vertical line marks each change of step.
//
// Threads: it lives on the window's thread and is fed only from the immutable
// snapshots the run publishes, so it shares nothing with the tick worker.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "datafile/data_file_reader.h"

#include "plot/drawing_surface.h"
#include "plot/run_plot.h"
#include "plot/run_store.h"
#include "run/run_snapshot.h"
#include "ui/run_plot_zoom.h"

// Every sample of the run so far, collected from snapshots. A snapshot holds
// the last 100 samples, so one seen at least every 100 samples misses none.
class WholeRunRecord {
 public:
  WholeRunRecord();
  // Appends the samples `run` took since the snapshot taken before; a new
  // measurement starts the record afresh.
  void Take(const RunSnapshot& run);
  // A run continued after its program was gone: the samples its data file at
  // `path` holds start the record afresh (`volts` stands in for lines without
  // their set voltage), `tail` gets the last of them as the live view draws
  // them, and the run's samples after its first `samplesTaken` follow.
  DataFileStatus ContinueFrom(const std::string& path, double volts, int samplesTaken, SampleHistory& tail);
  const RunStore& Store() const { return *m_store; }
  // The run times (s) at which one step gave way to the next, for the steps
  // the run has reached.
  const std::vector<double>& StepChanges() const { return m_stepChanges; }

 private:
  std::unique_ptr<RunStore> m_store;
  int m_samplesTaken = 0;
  int m_tickCount = 0;
  std::vector<double> m_stepChanges;
  int m_reachedStep = 0;  // over all passes, from 0
};

// The channels as the live view numbers them (0 current, 1 voltage, 2 and 3
// the auxiliary rows), with the quantity and unit their axis shows. The current
// is kept in microamperes, as the data file has it.
RunPlotRequest WholeRunChannel(int channel);

// The live view's history of a continued run: the samples of `earlier` (from
// its file) followed by those of `recent` (since it was continued), the last
// SampleHistory::kMaxSamples of them.
SampleHistory JoinedHistory(const SampleHistory& earlier, const SampleHistory& recent);

class WholeRunView {
 public:
  void Take(const RunSnapshot& run) { m_record.Take(run); }
  // See WholeRunRecord::ContinueFrom; the view shows the whole run again.
  DataFileStatus ContinueFrom(const std::string& path, double volts, int samplesTaken, SampleHistory& tail) {
    m_zoom.ShowWholeRun();
    return m_record.ContinueFrom(path, volts, samplesTaken, tail);
  }
  // rememberFrame: false for a picture that is not the screen's (an export).
  void Paint(DrawingSurface& surface, const SurfaceRect& client, int channel, bool rememberFrame = true);

  // A drag across the plot zooms into its span (see RunPlotZoom).
  void BeginDrag(int x) { m_zoom.BeginDrag(x); }
  bool EndDrag(int x) { return m_zoom.EndDrag(x); }
  void CancelDrag() { m_zoom.CancelDrag(); }
  // Back to the whole run. True when the view changed.
  bool ShowWholeRun() { return m_zoom.ShowWholeRun(); }
  bool Zoomed() const { return m_zoom.Zoomed(); }
  const RunStore& Store() const { return m_record.Store(); }
  const std::vector<double>& StepChanges() const { return m_record.StepChanges(); }

 private:
  WholeRunRecord m_record;
  RunPlotZoom m_zoom;
};
