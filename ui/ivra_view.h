// CIvraView: the one view. It takes the Start, Stop and channel commands and
// paints the live display into its canvas window inside the main frame.
//
// The run belongs to the program; the view paints only what the run's latest
// snapshot holds. Its run driver ticks the run on a worker thread, so that the
// window keeps repainting and taking commands while a sample waits for the
// instrument; Stop and the window's close go through it too.
#pragma once

#include <string>

#include <wx/docview.h>
#include <wx/weakref.h>

#include "instrument/instrument_settings.h"
#include "run/measurement_run.h"
#include "serial/port_discovery.h"
#include "serial/port_table.h"
#include "text/run_front_end.h"
#include "ui/live_view_canvas.h"
#include "ui/run_driver.h"
#include "ui/setup_settings.h"
#include "ui/status_panes.h"
#include "ui/whole_run_view.h"

// What the desktop program hands its view: the one measurement run, the port
// table that says which device serves COM1..COM4, where the Setup dialog
// looks for the machine's other ports, the port the previous session chose,
// and the instrument settings. The program owns them and outlives the view.
struct ViewContext {
  MeasurementRun& run;
  const PortTable& ports;
  const PortLister& listPorts;
  // Preselected by the Setup dialog until a Start has chosen a port.
  std::string rememberedPortPath;
  // Preset in every Setup dialog; an accepted Setup replaces them.
  InstrumentSettings& instrument;
  // The device the program's simulated instrument serves, empty when none.
  std::string simulatedPortPath = {};
};

class CIvraView : public wxView, public RunFrontEnd {
 public:
  explicit CIvraView(const ViewContext& context);
  ~CIvraView() override;

  bool OnCreate(wxDocument* doc, long flags) override;
  void OnDraw(wxDC* dc) override;
  void OnUpdate(wxView* sender, wxObject* hint) override;
  void OnChangeFilename() override;

  // 0 when the measurement runs, -1 when the Setup dialog was cancelled, 1 when
  // a later step failed (its message has been shown). After a failed Start
  // Setup opens again with the values kept and the field at fault focused,
  // until a Start succeeds or the user cancels.
  int StartMeasurement();
  // Continues the run of `plan`, whose program went away, in this window as
  // if it had never stopped: the same file, its samples in the live and the
  // whole-run view, the panes as for any run. 0 when it measures, 1 when a
  // step failed (its message has been shown). Only while not Measuring.
  int ContinueMeasurement(const ResumePlan& plan);
  // Before the window closes: true when nothing is measured, or the user
  // chose "Stop and Close" (Cancel, the default, keeps the run and the window).
  // With a ramp "Stop and Close" starts the way down to 0 V instead and says
  // false: the window closes itself once the run has stopped. A close on the
  // way down switches the output off at once and is let through.
  bool AskToStopAndClose();
  // A stop signal's close: with a ramp the first one brings the output down
  // to 0 V and the window closes itself once the run has stopped (true).
  // False when there is nothing to bring down: the close may go ahead.
  bool CloseAfterRampDown();
  // The message of the zoomed whole-run view in the status bar, empty when not zoomed.
  static const char* ZoomedText();
  void StopMeasurement(RunEndReason reason = RunEndReason::StoppedByUser);
  // The menu's Stop: with a ramp the first one brings the output down to 0 V
  // before the run stops, a second one switches it off at once.
  void StopOrRampDown();

  int Channel() const { return m_nChannel; }
  bool WholeRunShown() const { return m_bWholeRun; }
  // Saves what the view shows (live or whole run, as zoomed) at width x height
  // as PNG or SVG by the name's extension. Empty on success, else the message.
  std::string ExportPlot(const std::string& path, int width, int height);
  const WholeRunView& WholeRun() const { return m_wholeRun; }
  wxWindow* Canvas() const { return m_canvas.get(); }
  bool TimerRunning() const { return m_driver.Ticking(); }
  // The first paint has been and has tried to start the timer.
  bool FirstPaintDone() const { return m_bFirstPaintDone; }
  // A measurement runs, or its last tick has not been collected yet.
  bool Measuring() const { return m_driver.Measuring(); }
  // A tick runs on the worker thread: the run is the worker's meanwhile.
  bool TickInFlight() const { return m_driver.TickInFlight(); }

  // RunFrontEnd
  void ShowMessage(const std::string& text) override;
  void Redraw() override;
  void ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) override;
  void WarnOutputMayBeOn(const std::string& text) override;

 private:
  // After every tick: the panes, and the close a way down was waiting for.
  void OnTicked();
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
  void OnCanvasMotion(wxMouseEvent& event);
  void OnRunDetails(wxCommandEvent& event);
  // The band of a zoom drag under way, over the picture.
  void PaintDragBand(wxDC& dc, const wxSize& size) const;
  void ShowZoomState();
  void OnCanvasKey(wxKeyEvent& event);

  void SelectChannel(int channel);
  void StartTimerOnFirstPaint();
  void ShowRunState();
  // The run has started or been continued: the panes and the caption.
  void ShowMeasuring(const std::string& outputPath);

  MeasurementRun& m_run;
  SetupSettings m_setup;
  RunStatusPanes m_panes;

  int m_nChannel = 0;
  // The whole-run view replaces the live one while checked; it is fed from
  // every snapshot the window sees, shown or not.
  bool m_bWholeRun = false;
  WholeRunView m_wholeRun;
  bool m_bExporting = false;
  bool m_bFirstPaintDone = false;
  // "Stop and Close" started a way down: the window closes once the run stops.
  bool m_bCloseWhenStopped = false;
  // A zoom drag: where it began and where the mouse is now; -1 when none.
  int m_nDragStartX = -1;
  int m_nDragNowX = -1;
  // The frame owns the canvas; it may be gone before the view.
  wxWeakRef<CLiveViewCanvas> m_canvas;
  // A continued run: the last samples its file held before, drawn ahead of
  // the run's own in the live view until the next Start.
  SampleHistory m_earlier;
  // The caption names it once a measurement has started; "Untitled" before.
  std::string m_strCaptionFile;
  // Last: its ticks may reach every member above.
  CRunDriver m_driver;

  wxDECLARE_CLASS(CIvraView);
  wxDECLARE_EVENT_TABLE();
};
