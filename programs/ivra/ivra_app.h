// CIvraApp: start-up (profile settings, the document template, the command
// line, the main frame with the one document and view), the About command, and
// the orderly close on SIGINT, SIGTERM and SIGHUP. It owns the program's one
// measurement run and port table, which the view works with.
#pragma once

#include <memory>
#include <string>

#include <wx/app.h>
#include <wx/timer.h>

#include "instrument/instrument_settings.h"
#include "programs/common/port_options.h"
#include "programs/common/reading_outputs.h"
#include "programs/ivra/modal_dialog_tracker.h"
#include "run/measurement_run.h"
#include "serial/port_discovery.h"
#include "serial/port_table.h"

class CMainFrame;
class CUnfinishedRunsOffer;
class SimAdapter;
class SimulatedInstrument;
struct SimOptions;
class wxDocManager;

class CIvraApp : public wxApp {
 public:
  CIvraApp();
  ~CIvraApp() override;

  bool OnInit() override;
  int OnExit() override;

  CMainFrame* MainFrame() const;
  wxDocManager* DocManager() const { return m_docManager; }

  // The run the view drives; it outlives the view.
  MeasurementRun& Run() { return m_run; }
  // Which device serves COM1..COM4.
  PortTable& Ports() { return m_ports; }
  // Where the Setup dialog and a failed Start look for the machine's ports;
  // an empty lister puts ListSerialPorts back. Only while no tick runs.
  void SetPortLister(PortLister lister);

  // Closes the main window as soon as no modal dialog is open (ending our own
  // dialogs first), so the view stops a running measurement on the way out.
  void RequestOrderlyClose();
  // A stop signal (SIGINT, SIGTERM, SIGHUP): an orderly close that, with a
  // ramp, waits for the output's way down to 0 V; a second signal does not wait.
  void RequestCloseOnSignal();

  // The runs whose program went away, looked for at the start and offered in
  // turn; Measurement > Unfinished Runs... offers them again.
  CUnfinishedRunsOffer& UnfinishedRuns() { return *m_unfinished; }

 private:
  void OnAppAbout(wxCommandEvent& event);
  void OnUnfinishedRuns(wxCommandEvent& event);
  void OnUpdateUnfinishedRuns(wxUpdateUIEvent& event);
  // Tells the offer whether the window measures: a run that ended makes it look again.
  void OnIdle(wxIdleEvent& event);
  void CreateUnfinishedRunsOffer();
  void OnCloseRetry(wxTimerEvent& event);
  // Logging out of the desktop: the run stops as on a stop signal, unasked.
  void OnEndSession(wxCloseEvent& event);
  bool ApplyCommandLine();
  // With --gpib or a tcp:// --port, the started simulator's controller or
  // bridge; false, after saying why, when it cannot start.
  bool StartSimulatorFront(const PortOptions& ports, const SimOptions& options, int simulatedPort);
  // The port of the last accepted Setup is kept in the profile (by device
  // path) and preselected in the next run's dialog when it is present.
  void LoadRememberedPort();
  void SaveRememberedPort();
  void InstallSignalHandlers();

  // Before the run, so that it outlives the run's listener that points to it.
  std::unique_ptr<ReadingOutputs> m_outputs;  // --mqtt given
  MeasurementRun m_run;
  PortTable m_ports;
  PortLister m_portLister;
  std::string m_rememberedPortPath;
  // From the profile; the view's Setup dialogs show and change them; saved on exit.
  InstrumentSettings m_instrument;
  wxDocManager* m_docManager = nullptr;
  std::unique_ptr<SimulatedInstrument> m_simulator;
  // --simulate with --gpib or a tcp:// --port: the simulator's controller or
  // bridge. Declared after it, so it stops first.
  std::unique_ptr<SimAdapter> m_simulatedAdapter;
  // The port the command line's connection gives (the simulated adapter's
  // address, or --port): preset in Setup in place of the profile's.
  std::string m_commandLinePortPath;
  ModalDialogTracker m_modalDialogs;
  std::unique_ptr<CUnfinishedRunsOffer> m_unfinished;
  wxTimer m_closeRetry;
  int m_stopSignals = 0;
  bool m_rampDownStarted = false;
  bool m_portsFromCommandLine = false;  // --simulate, --port or --comN=PATH given

  wxDECLARE_EVENT_TABLE();
};

// The running application object.
CIvraApp& TheIvraApp();
