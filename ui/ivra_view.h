// CIvraView: the one view. It takes the Start, Stop and channel commands, runs
// the measurement's tick on its one-second timer, and paints the live display
// into its canvas window inside the main frame.
//
// A tick that finds a measurement running goes to the tick worker, so that the
// window keeps repainting and taking commands while a sample waits for the
// instrument. Stop and the window's close end that wait (the serial read
// abort), collect the tick, then switch the output off on this thread.
#pragma once

#include <string>

#include <wx/docview.h>
#include <wx/timer.h>

#include "measurement/measurement_run.h"
#include "measurement/sample_history.h"
#include "ui/tick_worker.h"

class CLiveViewCanvas;

// 1 until the first paint has tried to start the view's timer.
extern int g_firstPaint;

class CIvraView : public wxView, public RunFrontEnd {
 public:
  CIvraView();
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
  wxWindow* Canvas() const;
  bool TimerRunning() const { return m_timer.IsRunning(); }
  // A measurement runs, or its last tick has not been collected yet.
  bool Measuring() const { return m_worker.Busy() || g_measuring != 0; }
  // A tick runs on the worker thread: the measurement state is its own.
  bool TickInFlight() const { return m_worker.Busy(); }

  // RunFrontEnd
  void ShowMessage(const std::string& text) override;
  void Redraw() override;
  void ReportTrouble(SampleTrouble trouble) override;
  void WarnOutputMayBeOn(const std::string& text) override;

 private:
  friend class CLiveViewCanvas;

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

  void SelectChannel(int channel);
  void StartTimerOnFirstPaint();
  void SetMessagePane(const wxString& text);
  void RunTick();
  void OnTickEnded();

  int m_nChannel = 0;
  wxTimer m_timer;
  CLiveViewCanvas* m_pCanvas = nullptr;
  TickWorker m_worker;
  // A tick fell due while one was in flight; taken once that one is collected.
  bool m_bTickPending = false;
  // Stop is collecting the tick in flight and switching the output off.
  bool m_bStopping = false;
  // What the paint shows while a tick is in flight (the worker may be writing
  // the live ones): the latest reading and history as that tick found them.
  LatestReading m_shownReading;
  SampleHistory m_shownHistory;

  wxDECLARE_DYNAMIC_CLASS(CIvraView);
  wxDECLARE_EVENT_TABLE();
};
