#include "tests/gui/gui_test_support.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/time.h>
#include <wx/utils.h>

#include "plot/wx_drawing_surface.h"
#include "programs/ivra/ivra_app.h"
#include "programs/ivra/main_frame.h"
#include "ui/com_port_dlg.h"
#include "ui/command_ids.h"
#include "ui/ivra_view.h"
#include "ui/live_view_painter.h"

extern char** environ;

void Pump(int ms) {
  const wxLongLong end = wxGetLocalTimeMillis() + ms;
  do {
    wxTheApp->Yield(true);
    wxMilliSleep(5);
  } while (wxGetLocalTimeMillis() < end);
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const wxLongLong end = wxGetLocalTimeMillis() + timeoutMs;
  while (!done()) {
    if (wxGetLocalTimeMillis() >= end) return false;
    wxTheApp->Yield(true);
    wxMilliSleep(5);
  }
  return true;
}

bool PumpUntilCollected(const std::function<bool()>& done, int timeoutMs) {
  return PumpUntil([&] { return !View()->TickInFlight() && done(); }, timeoutMs);
}

CMainFrame* Frame() { return TheIvraApp().MainFrame(); }

CIvraView* View() {
  wxDocManager* manager = TheIvraApp().DocManager();
  return manager != nullptr ? dynamic_cast<CIvraView*>(manager->GetAnyUsableView()) : nullptr;
}

MeasurementRun& Run() { return TheIvraApp().Run(); }
SnapshotPtr LatestSnapshot() { return Run().Snapshot(); }
PortTable& Ports() { return TheIvraApp().Ports(); }

void PostMenu(int id) {
  wxCommandEvent event(wxEVT_MENU, id);
  event.SetEventObject(Frame());
  Frame()->GetEventHandler()->AddPendingEvent(event);
  Pump(50);
}

bool MenuEnabled(int id) {
  Frame()->UpdateWindowUI();
  return Frame()->GetMenuBar()->IsEnabled(id);
}

bool MenuChecked(int id) {
  Frame()->UpdateWindowUI();
  return Frame()->GetMenuBar()->IsChecked(id);
}

// Runs a dialog's script from a timer, so each step sees the effects of the
// previous one (including simulated input) before it runs.
class DialogDriver::Stepper : public wxTimer {
 public:
  Stepper(wxDialog* dialog, std::vector<Step> steps) : dialog_(dialog), steps_(std::move(steps)) {}
  void Notify() override {
    if (next_ >= steps_.size()) return;
    const std::size_t current = next_++;
    const bool last = next_ >= steps_.size();
    wxDialog* dialog = dialog_;
    // The last step may end the modal loop; the stepper dies with it.
    if (!last) StartOnce(kStepMs);
    steps_[current](*dialog);
  }
  static constexpr int kStepMs = 120;

 private:
  wxDialog* dialog_;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
};

DialogDriver::DialogDriver() { Register(); }
DialogDriver::~DialogDriver() { Unregister(); }

void DialogDriver::Script(std::vector<Step> steps) { scripts_.push_back(std::move(steps)); }

int DialogDriver::Enter(wxDialog* dialog) {
  // The generic message box runs the hook twice (its own ShowModal and the
  // dialog's); the inner call belongs to the same box.
  if (std::find(active_.begin(), active_.end(), dialog) != active_.end()) {
    active_.push_back(dialog);
    return wxID_NONE;
  }
  active_.push_back(dialog);
  if (auto* box = dynamic_cast<wxMessageDialogBase*>(dialog)) {
    messages_.push_back({box->GetTitle(), box->GetMessage(), box->GetMessageDialogStyle()});
    if (!messageStep_) {
      active_.pop_back();  // answered here: no Exit follows
      return wxID_OK;
    }
    RunInModalLoop(dialog, {messageStep_});
    return wxID_NONE;
  }
  ++dialogsSeen_;
  if (scripts_.empty()) {
    ++dialogsClosed_;
    active_.pop_back();  // answered here: no Exit follows
    return wxID_CANCEL;  // an unexpected dialog must not hang the test
  }
  RunInModalLoop(dialog, std::move(scripts_.front()));
  scripts_.erase(scripts_.begin());
  return wxID_NONE;
}

void DialogDriver::RunInModalLoop(wxDialog* dialog, std::vector<Step> steps) {
  auto* stepper = new Stepper(dialog, std::move(steps));
  // The stepper belongs to the dialog's lifetime: deleted when it goes.
  dialog->Bind(wxEVT_DESTROY, [stepper](wxWindowDestroyEvent& event) {
    stepper->Stop();
    delete stepper;
    event.Skip();
  });
  stepper->StartOnce(Stepper::kStepMs);
}

void DialogDriver::Exit(wxDialog* dialog) {
  const auto it = std::find(active_.begin(), active_.end(), dialog);
  if (it != active_.end()) active_.erase(it);
  if (std::find(active_.begin(), active_.end(), dialog) != active_.end()) return;
  if (dynamic_cast<wxMessageDialogBase*>(dialog) == nullptr) ++dialogsClosed_;
}

CComPortDlg& AsSetup(wxDialog& dialog) { return dynamic_cast<CComPortDlg&>(dialog); }

void SetField(wxDialog& dialog, int id, const wxString& text) {
  auto* field = dynamic_cast<wxTextCtrl*>(dialog.FindWindow(id));
  if (field != nullptr) field->SetValue(text);
}

wxString FieldValue(wxDialog& dialog, int id) {
  auto* field = dynamic_cast<wxTextCtrl*>(dialog.FindWindow(id));
  return field != nullptr ? field->GetValue() : wxString("<missing>");
}

int PortSelection(wxDialog& dialog) {
  auto* port = dynamic_cast<wxChoice*>(dialog.FindWindow(1001));
  return port != nullptr ? port->GetSelection() : -2;
}

void SelectPort(wxDialog& dialog, int index) {
  if (auto* port = dynamic_cast<wxChoice*>(dialog.FindWindow(1001))) port->SetSelection(index);
}

void ClickButton(wxDialog& dialog, int id) {
  wxWindow* button = dialog.FindWindow(id);
  if (button == nullptr) return;
  wxCommandEvent click(wxEVT_BUTTON, id);
  click.SetEventObject(button);
  button->GetEventHandler()->ProcessEvent(click);
}

wxWindow* FocusedControl(wxDialog& dialog) {
  wxWindow* focus = wxWindow::FindFocus();
  if (focus != nullptr && wxGetTopLevelParent(focus) == &dialog) return focus;
  return nullptr;
}

int FocusedIdAfterWaitingFor(wxDialog& dialog, int expectedId) {
  auto focusedId = [&] {
    wxWindow* focus = FocusedControl(dialog);
    return focus != nullptr ? focus->GetId() : -1;
  };
  PumpUntil([&] { return focusedId() == expectedId; }, 5000);
  return focusedId();
}

bool StartThroughDialog(DialogDriver& driver, const std::string& outputPath, const char* measurementTime) {
  driver.Script({[=](wxDialog& dialog) {
    SelectPort(dialog, 1);
    SetField(dialog, IDC_OUTPUT_FILE, wxString::FromUTF8(outputPath));
    SetField(dialog, IDC_MEASUREMENT_TIME, measurementTime);
    SetField(dialog, IDC_SAMPLE_INTERVAL, "1");
    SetField(dialog, IDC_OUTPUT_VOLTAGE, "1.5");
    ClickButton(dialog, wxID_OK);
  }});
  PostMenu(ID_MEASUREMENT_START);
  return PumpUntil([] { return View()->Measuring(); }, 10000);
}

std::vector<std::string> LoggedCommands(const std::string& logPath) {
  std::vector<std::string> commands;
  for (const std::string& line : ReadLines(logPath)) {
    const auto tab = line.find('\t');
    if (tab != std::string::npos) commands.push_back(line.substr(tab + 1));
  }
  return commands;
}

SimProcess::SimProcess(const std::string& logPath, const std::vector<std::string>& extraArgs) {
  int out[2];
  if (pipe(out) != 0) return;
  std::vector<std::string> args = {IVRA_SIM_PATH, "--log", logPath};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  if (posix_spawn(&pid_, IVRA_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string line;
  char c = 0;
  while (pid_ > 0 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  devicePath_ = line;
}

SimProcess::~SimProcess() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
}

double SecondsSinceProcessStart() {
  std::ifstream statFile("/proc/self/stat");
  std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
  // Fields after the command name in parentheses; starttime is field 22.
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 22 && fields >> field; ++i) {
  }
  double uptime = 0;
  std::ifstream("/proc/uptime") >> uptime;
  return uptime - std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string TempPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/ivra-gui-" + std::to_string(getpid()) + "-" + name;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

namespace {

// A bitmap of the canvas size, erased and with the canvas font, as a paint gets it.
wxBitmap RenderCanvas(const std::function<void(wxDC&, const wxSize&)>& paint) {
  wxWindow* canvas = View()->Canvas();
  const wxSize size = canvas->GetClientSize();
  wxBitmap bitmap(size);
  wxMemoryDC dc(bitmap);
  dc.SetBackground(wxBrush(canvas->GetBackgroundColour()));
  dc.Clear();
  dc.SetFont(canvas->GetFont());
  paint(dc, size);
  dc.SelectObject(wxNullBitmap);
  return bitmap;
}

}  // namespace

wxBitmap RenderView() {
  return RenderCanvas([](wxDC& dc, const wxSize&) { View()->OnDraw(&dc); });
}

wxBitmap RenderPicture(const LatestReading& latest, const SampleHistory& history) {
  return RenderCanvas([&](wxDC& dc, const wxSize& size) {
    WxDrawingSurface surface(dc);
    PaintLiveView(surface, SurfaceRect{0, 0, size.x, size.y}, 0, latest, history);
  });
}

bool SameBitmaps(const wxBitmap& a, const wxBitmap& b) {
  const wxImage x = a.ConvertToImage();
  const wxImage y = b.ConvertToImage();
  if (x.GetSize() != y.GetSize()) return false;
  const size_t bytes = static_cast<size_t>(x.GetWidth()) * x.GetHeight() * 3;
  return std::equal(x.GetData(), x.GetData() + bytes, y.GetData());
}

bool SaveWindowScreenshot(const std::string& path) {
  const wxRect rect = Frame()->GetScreenRect();
  const std::string command = "import -window root -crop " + std::to_string(rect.width) + "x" +
                              std::to_string(rect.height) + "+" + std::to_string(rect.x) + "+" +
                              std::to_string(rect.y) + " +repage '" + path + "' 2>/dev/null";
  if (std::system(command.c_str()) == 0) return true;
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  return RenderView().SaveFile(path, wxBITMAP_TYPE_PNG);
}

void SaveScreen(const std::string& path) {
  if (std::system(("import -window root '" + path + "' 2>/dev/null").c_str()) != 0) {
    std::printf("[ note ] no screenshot %s (ImageMagick's import failed)\n", path.c_str());
  }
}

bool PaneTextWhole(int pane) {
  const wxStatusBar* bar = Frame()->GetStatusBar();
  wxRect rect;
  if (bar == nullptr || !bar->GetFieldRect(pane, rect)) return false;
  const wxString text = bar->GetStatusText(pane);
  if (text.empty()) return true;
  int room = rect.width - 2 * 2 - 1;
  if (pane == bar->GetFieldsCount() - 1) room -= bar->GetClientSize().y;
  return bar->GetTextExtent(text).x <= room;
}
