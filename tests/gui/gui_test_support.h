// Helpers for driving the real desktop program in-process under Xvfb: event
// pumping, menu commands, modal dialog scripts, message box capture, a
// simulated instrument process and screenshots.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include <wx/bitmap.h>
#include <wx/modalhook.h>
#include <wx/timer.h>

#include "run/measurement_run.h"
#include "serial/port_table.h"

class CIvraView;
class CMainFrame;
class CComPortDlg;
class wxDialog;

// Processes events for `ms` milliseconds.
void Pump(int ms);
// Processes events until `done` holds or `timeoutMs` passes; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
// The same, with `done` asked only once the tick worker's tick has been
// collected (its redraws and troubles shown). No tick starts without an event
// pump, so the window stays as it is after it returns true until the next pump.
bool PumpUntilCollected(const std::function<bool()>& done, int timeoutMs);

CMainFrame* Frame();
CIvraView* View();
// The application's run (it outlives the view) and what it published last.
MeasurementRun& Run();
SnapshotPtr LatestSnapshot();
// The application's port table: which device serves COM1..COM4.
PortTable& Ports();

// Queues a menu command at the main frame and processes events for a moment.
void PostMenu(int id);
// Runs the update pass and reads a menu item's state.
bool MenuEnabled(int id);
bool MenuChecked(int id);

struct CapturedMessage {
  wxString caption;
  wxString text;
  long style = 0;
};

// While alive: every message box is recorded instead of shown (answered OK),
// and every other modal dialog gets its script run inside its modal loop,
// one step at a time with events processed between steps.
class DialogDriver : public wxModalDialogHook {
 public:
  using Step = std::function<void(wxDialog&)>;

  DialogDriver();
  ~DialogDriver() override;

  // Steps for the next modal dialog that opens (one script per dialog, FIFO).
  void Script(std::vector<Step> steps);

  // Message boxes are then shown for real, and `step` runs inside their modal
  // loop (it must end the box somehow).
  void ShowMessageBoxesAndRun(Step step) { messageStep_ = std::move(step); }

  const std::vector<CapturedMessage>& Messages() const { return messages_; }
  void ClearMessages() { messages_.clear(); }
  int DialogsSeen() const { return dialogsSeen_; }
  int DialogsClosed() const { return dialogsClosed_; }
  int PendingScripts() const { return static_cast<int>(scripts_.size()); }

 protected:
  int Enter(wxDialog* dialog) override;
  void Exit(wxDialog* dialog) override;

 private:
  class Stepper;
  void RunInModalLoop(wxDialog* dialog, std::vector<Step> steps);
  std::vector<CapturedMessage> messages_;
  std::vector<std::vector<Step>> scripts_;
  Step messageStep_;
  std::vector<wxDialog*> active_;  // dialogs inside the hook, once per nesting
  int dialogsSeen_ = 0;
  int dialogsClosed_ = 0;
};

// Controls of the Setup dialog.
CComPortDlg& AsSetup(wxDialog& dialog);
void SetField(wxDialog& dialog, int id, const wxString& text);
wxString FieldValue(wxDialog& dialog, int id);
int PortSelection(wxDialog& dialog);
void SelectPort(wxDialog& dialog, int index);
// Sends a button click (OK, Cancel) as the button itself would.
void ClickButton(wxDialog& dialog, int id);
// The control that holds the keyboard focus inside `dialog`, or nullptr.
wxWindow* FocusedControl(wxDialog& dialog);
// The id of the control that holds the focus once it has had up to five
// seconds to reach `expectedId` (-1 for none). The platform delivers focus
// changes later than SetFocus returns, later still on a slow machine.
int FocusedIdAfterWaitingFor(wxDialog& dialog, int expectedId);

// Starts a measurement on COM2 (point it at the simulator first) through the
// Setup dialog: 1 s between samples, 1.5 V. True once it runs.
bool StartThroughDialog(DialogDriver& driver, const std::string& outputPath, const char* measurementTime);

// The commands an ivra-sim --log file holds, in order (a carriage return shows as \r).
std::vector<std::string> LoggedCommands(const std::string& logPath);

// An ivra-sim process serving a pseudo-terminal, logging every command.
class SimProcess {
 public:
  SimProcess(const std::string& logPath, const std::vector<std::string>& extraArgs = {});
  ~SimProcess();
  const std::string& DevicePath() const { return devicePath_; }
  bool Running() const { return pid_ > 0 && !devicePath_.empty(); }

 private:
  pid_t pid_ = -1;
  std::string devicePath_;
};

// Seconds since this process was started by the kernel (from /proc).
double SecondsSinceProcessStart();

// Unique temporary path for this test process.
std::string TempPath(const std::string& name);
std::vector<std::string> ReadLines(const std::string& path);

// The view's picture drawn into a bitmap of the canvas size.
wxBitmap RenderView();
// The live view's picture of `latest` and `history` (channel 1), drawn the
// same way into a bitmap of the canvas size.
wxBitmap RenderPicture(const LatestReading& latest, const SampleHistory& history);
bool SameBitmaps(const wxBitmap& a, const wxBitmap& b);
// The main window's status pane shows its text whole: the bar draws it 2 px
// inside the field's rectangle on either side (GTK one more to the right),
// and the last pane's text stops at the size grip, a square of the bar's
// height. An empty pane is whole.
bool PaneTextWhole(int pane);

// Writes a PNG of the main window as the X server shows it (ImageMagick
// `import`), falling back to the view's own rendering. Returns true on success.
bool SaveWindowScreenshot(const std::string& path);
// The whole screen, where a dialog or a second window over the main one shows too;
// a note on stdout when ImageMagick cannot take it.
void SaveScreen(const std::string& path);
