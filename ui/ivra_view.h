// CIvraView: the one view. It takes the Start, Stop and channel commands, runs
// the measurement's tick on its one-second timer, and paints the live display
// into its canvas window inside the main frame.
//
// The run belongs to the program; the view paints only what the run's latest
// snapshot holds. A tick that finds a measurement running goes to the tick
// worker, so that the window keeps repainting and taking commands while a
// sample waits for the instrument. Stop and the window's close end that wait
// (the stop request), collect the tick, then switch the output off on this
// thread.
#pragma once

#include <string>

#include <wx/docview.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include "run/measurement_run.h"
#include "text/run_front_end.h"
#include "ui/live_view_canvas.h"
#include "ui/tick_worker.h"
#include "ui/view_context.h"
#include "ui/whole_run_view.h"

class CIvraView : public wxView, public RunFrontEnd {
 public:
  explicit CIvraView(const ViewContext& context);
  ~CIvraView() override;

  bool OnCreate(wxDocument* doc, long flags) override;
  void OnDraw(wxDC* dc) override;
  void OnUpdate(wxView* sender, wxObject* hint) override;
  void OnChangeFilename() override;

  // 0 when the measurement runs, -1 when the Setup dialog was cancelled, 1 when
  // a later step failed (its message has been shown).
  int StartMeasurement();
  void StopMeasurement(RunEndReason reason = RunEndReason::StoppedByUser);

  int Channel() const { return m_nChannel; }
  bool WholeRunShown() const { return m_bWholeRun; }
  // Saves what the view shows (live or whole run, as zoomed) at width x height
  // as PNG or SVG by the name's extension. Empty on success, else the message.
  std::string ExportPlot(const std::string& path, int width, int height);
  const WholeRunView& WholeRun() const { return m_wholeRun; }
  wxWindow* Canvas() const { return m_canvas.get(); }
  bool TimerRunning() const { return m_timer.IsRunning(); }
  // The first paint has been and has tried to start the timer.
  bool FirstPaintDone() const { return m_firstPaintDone; }
  // A measurement runs, or its last tick has not been collected yet.
  bool Measuring() const { return m_worker.Busy() || m_run.Snapshot()->Measuring(); }
  // A tick runs on the worker thread: the run is the worker's meanwhile.
  bool TickInFlight() const { return m_worker.Busy(); }

  // RunFrontEnd
  void ShowMessage(const std::string& text) override;
  void Redraw() override;
  void ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) override;
  void WarnOutputMayBeOn(const std::string& text) override;

 private:
  void OnTimer(wxTimerEvent& event);
  void OnMeasurementStart(wxCommandEvent& event);
  void OnMeasurementStop(wxCommandEvent& event);
  void OnUpdateMeasurementStart(wxUpdateUIEvent& event);
  void OnUpdateMeasurementStop(wxUpdateUIEvent& event);
  void OnChannel1(wxCommandEvent& event);
  void OnChannel2(wxCommandEvent& event);
  void OnChannel3(wxCommandEvent& event);
  void OnChannel4(wxCommandEvent& event);
  void OnUpdateChannel1(wxUpdateUIEvent& event);
  void OnUpdateChannel2(wxUpdateUIEvent& event);
  void OnUpdateChannel3(wxUpdateUIEvent& event);
  void OnUpdateChannel4(wxUpdateUIEvent& event);
  void OnWholeRun(wxCommandEvent& event);
  void OnExportPlot(wxCommandEvent& event);
  // The picture the canvas shows, on any surface.
  void PaintPicture(DrawingSurface& surface, const SurfaceRect& client);
  void OnUpdateWholeRun(wxUpdateUIEvent& event);
  // Mouse and keys of the canvas while the whole run is shown: drag to zoom,
  // Home or Escape for the whole run again.
  void OnCanvasLeftDown(wxMouseEvent& event);
  void OnCanvasLeftUp(wxMouseEvent& event);
  void OnCanvasKey(wxKeyEvent& event);

  void SelectChannel(int channel);
  void StartTimerOnFirstPaint();
  void SetMessagePane(const wxString& text);
  // The run-state pane from the latest snapshot; the end of a run is announced
  // in the message pane the first time it is seen.
  void ShowRunState();
  // The output file the Setup dialog presets: the last accepted one, from the
  // profile until a Start of this session has chosen one.
  std::string PresetOutputFile(const MeasurementSettings& last) const;
  void RunTick();
  void OnTickEnded();

  MeasurementRun& m_run;
  const PortTable& m_ports;
  const PortLister& m_listPorts;
  const std::string m_rememberedPortPath;
  const std::string m_simulatedPortPath;
  InstrumentSettings& m_instrument;

  int m_nChannel = 0;
  // The whole-run view replaces the live one while checked; it is fed from
  // every snapshot the window sees, shown or not.
  bool m_bWholeRun = false;
  WholeRunView m_wholeRun;
  bool m_bExporting = false;
  wxTimer m_timer;
  bool m_firstPaintDone = false;
  // The frame owns the canvas; it may be gone before the view.
  wxWeakRef<CLiveViewCanvas> m_canvas;
  TickWorker m_worker;
  // A tick fell due while one was in flight; taken once that one is collected.
  bool m_bTickPending = false;
  // Stop is collecting the tick in flight and switching the output off.
  bool m_bStopping = false;
  // The state pane shows a running measurement whose end is still to be announced.
  bool m_bRunShown = false;
  // The message pane shows the run's counts, to be kept current per sample.
  bool m_bCountsShown = false;
  // The caption names it once a measurement has started; "Untitled" before.
  std::string m_strCaptionFile;

  wxDECLARE_CLASS(CIvraView);
  wxDECLARE_EVENT_TABLE();
};
