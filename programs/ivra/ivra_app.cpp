#include "programs/ivra/ivra_app.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <wx/config.h>
#include <wx/docview.h>
#include <wx/log.h>

#include "connection/connection_address.h"
#include "programs/common/simulator_start.h"
#include "programs/ivra/about_dlg.h"
#include "programs/ivra/app_icon.h"
#include "programs/ivra/command_line.h"
#include "programs/ivra/ivra_doc.h"
#include "programs/ivra/ivra_doc_manager.h"
#include "programs/ivra/ivra_doc_template.h"
#include "programs/ivra/main_frame.h"
#include "programs/ivra/signal_stop_request.h"
#include "recovery/unfinished_runs.h"
#include "recovery_ui/unfinished_runs_offer.h"
#include "sim/simulated_instrument.h"
#include "ui/command_ids.h"
#include "ui/ivra_view.h"
#include "ui/message_box.h"
#include "ui/setup_settings.h"

namespace {

constexpr const char* kAppTitle = "Ivra";
constexpr int kCloseRetryMs = 100;
constexpr int kCloseTimerId = 1;

// A little noise, so the demo's plot of a fixed resistor visibly moves.
constexpr double kSimulatedNoiseAmperes = 5e-9;

#ifndef _WIN32
// Runs from the event loop (wx defers it from the real signal handler).
void OnCloseSignal(int) { TheIvraApp().RequestCloseOnSignal(); }
#endif

}  // namespace

wxBEGIN_EVENT_TABLE(CIvraApp, wxApp)
  EVT_MENU(ID_APP_ABOUT, CIvraApp::OnAppAbout)
  EVT_MENU(ID_MEASUREMENT_UNFINISHED, CIvraApp::OnUnfinishedRuns)
  EVT_UPDATE_UI(ID_MEASUREMENT_UNFINISHED, CIvraApp::OnUpdateUnfinishedRuns)
  EVT_IDLE(CIvraApp::OnIdle)
  EVT_TIMER(kCloseTimerId, CIvraApp::OnCloseRetry)
  EVT_QUERY_END_SESSION(CIvraApp::OnEndSession)
  EVT_END_SESSION(CIvraApp::OnEndSession)
wxEND_EVENT_TABLE()

CIvraApp& TheIvraApp() { return *static_cast<CIvraApp*>(wxTheApp); }

CIvraApp::CIvraApp() : m_portLister(ListSerialPorts), m_closeRetry(this, kCloseTimerId) {
  // A failed Start names the ports that the Setup dialog would list.
  m_run.SetPortLister([this] { return m_portLister(); });
  // Listed in the state folder while it runs, so that a window killed in the
  // middle of a run leaves it where the next window or ivra-run finds it.
  m_run.SetListingListener(ListRunningRun);
}

void CIvraApp::SetPortLister(PortLister lister) {
  m_portLister = lister ? std::move(lister) : PortLister(ListSerialPorts);
}

CIvraApp::~CIvraApp() = default;

bool CIvraApp::OnInit() {
  // Numbers on screen, in the data file and in the dialog use a decimal point
  // whatever the user's locale.
  std::setlocale(LC_NUMERIC, "C");
  SetAppName(kAppTitle);
  SetAppDisplayName(kAppTitle);
  // The standard profile: a recent-file list of four entries, shown nowhere.
  wxConfigBase::Set(new wxConfig(kAppTitle));
  // Before the command line: a simulated instrument's line is set up to match.
  m_instrument = LoadInstrumentSettings(*wxConfigBase::Get());
  if (!ApplyCommandLine()) return false;
  auto* docManager = new CIvraDocManager;
  docManager->Initialize();
  m_docManager = docManager;
  m_docManager->FileHistoryLoad(*wxConfigBase::Get());
  LoadRememberedPort();

  new CIvraDocTemplate(m_docManager, [this] {
    // The simulated instrument is reached through its adapter when it has one.
    std::string simulated = m_simulator ? m_simulator->DevicePath() : std::string();
    if (m_simulatedAdapter) simulated = m_simulatedAdapter->ClientAddress();
    return new CIvraView(
        ViewContext{m_run, m_ports, m_portLister, m_rememberedPortPath, m_instrument, std::move(simulated)});
  });
  m_docManager->SetMaxDocsOpen(1);

  auto* frame = new CMainFrame(m_docManager, kAppTitle);
  if (!frame->CreateBars()) {
    frame->Destroy();
    return false;
  }
  frame->SetIcons(MakeAppIcons());
  SetTopWindow(frame);
  if (m_docManager->CreateDocument(wxEmptyString, wxDOC_NEW) == nullptr) {
    frame->Destroy();
    return false;
  }
  frame->Show(true);

  m_modalDialogs.Register();
  InstallSignalHandlers();
  CreateUnfinishedRunsOffer();
  m_unfinished->Look(true);
  return true;
}

void CIvraApp::CreateUnfinishedRunsOffer() {
  auto view = [this] { return wxDynamicCast(m_docManager->GetCurrentView(), CIvraView); };
  UnfinishedRunsHost host;
  host.parent = [this] { return GetTopWindow(); };
  host.measuring = [view] { return view() != nullptr && view()->Measuring(); };
  // Not over the window's first paint, nor over a dialog the user has opened meanwhile.
  host.readyToOffer = [this, view] {
    return view() != nullptr && view()->FirstPaintDone() && m_modalDialogs.OpenCount() == 0;
  };
  host.continueRun = [view](const ResumePlan& plan) {
    return view() != nullptr && !view()->Measuring() && view()->ContinueMeasurement(plan) == 0;
  };
  m_unfinished = std::make_unique<CUnfinishedRunsOffer>(std::move(host));
}

void CIvraApp::OnUnfinishedRuns(wxCommandEvent&) {
  if (m_unfinished) m_unfinished->Offer();
}

void CIvraApp::OnUpdateUnfinishedRuns(wxUpdateUIEvent& event) {
  // Cheap: the list found last; it is looked for again only at a run's end and after an offer.
  event.Enable(m_unfinished && m_unfinished->Any() && !m_unfinished->Offering());
}

void CIvraApp::OnIdle(wxIdleEvent& event) {
  event.Skip();
  if (!m_unfinished || m_docManager == nullptr) return;
  auto* view = wxDynamicCast(m_docManager->GetCurrentView(), CIvraView);
  m_unfinished->NoteMeasuring(view != nullptr && view->Measuring());
}

bool CIvraApp::ApplyCommandLine() {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(argv[i].utf8_string());
  const IvraCommandLine line = ParseIvraCommandLine(args);
  if (!line.error.empty()) {
    std::fprintf(stderr, "ivra: %s\n%s", line.error.c_str(), IvraUsage().c_str());
    return false;
  }
  const PortOptions& ports = line.ports;
  if (ports.simulate) {
    SimOptions options;
    options.noise = kSimulatedNoiseAmperes;
    options = SimLineMatching(m_instrument, options);
    std::string error;
    // An explicit --com1 wins over the simulated port.
    const int simulatedPort = ports.GivesPath(1) ? 0 : 1;
    m_simulator = StartSimulator(options, m_ports, simulatedPort, error);
    if (!m_simulator) {
      ShowMessageBox("Can't start the simulated instrument: " + wxString::FromUTF8(error), kAppTitle,
                     wxOK | wxICON_ERROR);
      return false;
    }
    if (!StartSimulatorFront(ports, options, simulatedPort)) return false;
  } else if (ports.port) {
    m_commandLinePortPath = *ports.port;
  }
  ApplyComPaths(ports, m_ports, kMissingPortPathWords);  // checked by the parse already
  if (ports.gpib) SetSessionGpibAddress(ports.GpibAddress());
  m_portsFromCommandLine = ports.simulate || ports.port || !ports.comPaths.empty();
  if (line.publish.mqtt) {
    // Told from the tick's worker thread: the window shows it from its own.
    m_outputs = std::make_unique<ReadingOutputs>(line.publish, [this](const std::string& text) {
      std::fprintf(stderr, "ivra: %s\n", text.c_str());
      CallAfter([message = wxString::FromUTF8(text)] { wxLogWarning("%s", message); });
    });
    m_outputs->Listen(m_run);
  }
  return true;
}

bool CIvraApp::StartSimulatorFront(const PortOptions& ports, const SimOptions& options, int simulatedPort) {
  const int gpibAddress = ports.GpibAddress();  // checked by the parse already
  std::string error;
  m_simulatedAdapter =
      ::StartSimulatedAdapter(*m_simulator, options, ports.port.value_or(std::string()), gpibAddress, error);
  if (!error.empty()) {
    ShowMessageBox("Can't start the simulated " +
                       wxString(IsGpibAddress(gpibAddress) ? "GPIB controller: " : "serial bridge: ") +
                       wxString::FromUTF8(error) + "\nCheck that no other program uses the address given with --port.",
                   kAppTitle, wxOK | wxICON_ERROR);
    return false;
  }
  if (!m_simulatedAdapter) return true;
  const std::string address = m_simulatedAdapter->ClientAddress();
  // A network front is chosen in Setup by its address; a controller on a
  // pseudo-terminal takes the simulator's place on its port.
  if (IsNetworkAddress(address)) {
    m_commandLinePortPath = address;
  } else {
    m_ports.SetDevicePath(simulatedPort, address);
    if (simulatedPort == 0) m_commandLinePortPath = address;
  }
  return true;
}

void CIvraApp::LoadRememberedPort() {
  // Ports given on the command line take precedence over the remembered one.
  m_rememberedPortPath = m_commandLinePortPath;
  if (m_portsFromCommandLine) return;
  m_rememberedPortPath = LoadRememberedPortPath(*wxConfigBase::Get());
}

void CIvraApp::SaveRememberedPort() {
  // The simulator's pseudo-terminal is gone with this process: not worth remembering.
  const SnapshotPtr run = m_run.Snapshot();
  if (m_simulator || run->settings.portPath.empty()) return;
  SaveRememberedPortPath(*wxConfigBase::Get(), run->settings.portPath);
}

void CIvraApp::InstallSignalHandlers() {
#ifndef _WIN32  // wx forwards signals to the event loop only on Unix
  SetSignalHandler(SIGINT, OnCloseSignal);
  SetSignalHandler(SIGTERM, OnCloseSignal);
  SetSignalHandler(SIGHUP, OnCloseSignal);
  ForwardStopSignalsToStopRequest({SIGINT, SIGTERM, SIGHUP});
#endif
}

int CIvraApp::OnExit() {
  m_closeRetry.Stop();
  m_unfinished.reset();
  if (m_outputs) m_outputs->Finish();
  m_modalDialogs.Unregister();
  if (wxConfigBase::Get(false) != nullptr) {
    SaveRememberedPort();
    SaveInstrumentSettings(*wxConfigBase::Get(), m_instrument);
  }
  if (m_docManager != nullptr) {
    // A list emptied of files that were gone is saved empty, or they would
    // come back at the next start.
    if (m_docManager->GetHistoryFilesCount() > 0 || wxConfigBase::Get()->HasEntry("file1")) {
      m_docManager->FileHistorySave(*wxConfigBase::Get());
    }
    // Deleting the manager deletes the document and the view; the view stops a
    // measurement that still runs.
    delete m_docManager;
    m_docManager = nullptr;
  }
  m_simulatedAdapter.reset();
  m_simulator.reset();
  delete wxConfigBase::Set(nullptr);
  return wxApp::OnExit();
}

CMainFrame* CIvraApp::MainFrame() const { return wxDynamicCast(GetTopWindow(), CMainFrame); }

void CIvraApp::OnAppAbout(wxCommandEvent&) {
  CAboutDlg dialog(nullptr);
  dialog.ShowModal();
}

void CIvraApp::OnEndSession(wxCloseEvent&) {
  // Never refused: the session ends whatever the program says. From inside
  // a modal loop the close waits until it has ended, as on a signal.
  if (m_modalDialogs.OpenCount() > 0) {
    RequestOrderlyClose();
  } else if (wxWindow* frame = GetTopWindow()) {
    frame->Close(true);
  }
}

void CIvraApp::RequestOrderlyClose() {
  m_modalDialogs.CancelOpenDialogs();
  // Never close from inside a modal loop: the view that opened the dialog is
  // still on the stack. Try again once the loops have ended.
  m_closeRetry.StartOnce(kCloseRetryMs);
}

void CIvraApp::RequestCloseOnSignal() {
  ++m_stopSignals;
  RequestOrderlyClose();
}

void CIvraApp::OnCloseRetry(wxTimerEvent&) {
  if (m_modalDialogs.OpenCount() > 0) {
    RequestOrderlyClose();
    return;
  }
  // The first stop signal brings a ramped output down before the window
  // closes; a second one closes at once, which switches the output off.
  if (m_stopSignals == 1 && !m_rampDownStarted && m_docManager != nullptr) {
    m_rampDownStarted = true;
    auto* view = wxDynamicCast(m_docManager->GetCurrentView(), CIvraView);
    if (view != nullptr && view->CloseAfterRampDown()) return;
  }
  if (wxWindow* frame = GetTopWindow()) frame->Close(true);
}
