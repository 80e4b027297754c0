#include "ui/com_port_dlg.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "connection/connection_address.h"
#include "datafile/existing_output.h"
#include "schedule_ui/steps_dlg.h"
#include "text/file_messages.h"
#include "text/port_open_message.h"
#include "text/setting_checks.h"
#include "ui/command_ids.h"
#include "ui/instrument_dlg.h"
#include "ui/message_box.h"

namespace {

// The layout is given in dialog units of the dialog's 8-point font, so it keeps
// its proportions whatever face the platform substitutes.
struct DialogBox {
  int left, top, width, height;
};

// The rows of the network address and the GPIB address, below the port list;
// the classic fields below them move down by as much.
constexpr int kConnectionRows = 36;

// The GPIB address list: "none (RS-232)" first, then 0..30; the instrument's
// factory address is named so a GPIB user finds it at once.
constexpr const char* kNoGpibText = "none (RS-232)";
int GpibSelection(int address) { return IsGpibAddress(address) ? address + 1 : 0; }

wxString NumberText(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  return wxString::FromAscii(text);
}

std::string FieldText(const wxTextCtrl* field) { return field->GetValue().utf8_string(); }

// The platform's save-file dialog, starting in `folder` with `name` filled in,
// offering "*.dat" and all files. The chosen path, or empty when cancelled.
std::string AskSaveFilePath(wxWindow* parent, const std::string& folder, const std::string& name) {
  // No overwrite prompt here: OK in Setup asks, with the number of lines at stake.
  wxFileDialog dialog(parent, "Output file", wxString::FromUTF8(folder), wxString::FromUTF8(name),
                      "Data files (*.dat)|*.dat|All files (*)|*", wxFD_SAVE);
  if (dialog.ShowModal() != wxID_OK) return {};
  return dialog.GetPath().utf8_string();
}

// Whether the file at `path`, which exists, may be written; opened without
// emptying it, so asking costs no data.
bool CanWriteExisting(const std::string& path, FileCreateError& error) {
  errno = 0;
  std::ofstream probe(std::filesystem::u8path(path), std::ios::in | std::ios::out | std::ios::binary);
  if (probe.is_open()) return true;
  error.systemError = errno;
  error.problem = ClassifyFileCreateError(path, errno);
  return false;
}

}  // namespace

CComPortDlg::CComPortDlg(wxWindow* pParent, const PortTable& ports, const PortLister& listPorts)
    : CComPortDlg(pParent, MakePortChoices(ports, listPorts ? listPorts() : std::vector<SerialPortInfo>{})) {}

CComPortDlg::CComPortDlg(wxWindow* pParent, std::vector<PortChoice> choices) : m_choices(std::move(choices)) {
  // Created hidden: the modal loop shows it, after the members are in place.
  Create(pParent, wxID_ANY, "Setup", wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
  SetFont(wxFont(wxFontInfo(8).Family(wxFONTFAMILY_SWISS).FaceName("MS Sans Serif")));
  CreateControls();
  SetClientSize(wxDLG_UNIT(this, wxSize(252, 169 + kConnectionRows)));
  FitToContents();
  Centre();
  // GTK gives a text field's true size for a text only once it is on screen.
  Bind(wxEVT_SHOW, [this](wxShowEvent& event) {
    event.Skip();
    if (event.IsShown()) FitToContents();
    // After the platform has put the focus on the first control.
    if (event.IsShown()) CallAfter(&CComPortDlg::FocusFieldAtFault);
  });
}

CComPortDlg::~CComPortDlg() = default;

void CComPortDlg::CreateControls() {
  auto place = [this](wxWindow* control, DialogBox box) {
    control->SetSize(
        wxRect(wxDLG_UNIT(this, wxPoint(box.left, box.top)), wxDLG_UNIT(this, wxSize(box.width, box.height))));
  };
  auto label = [&](const char* text, DialogBox box) {
    auto* control =
        new wxStaticText(this, wxID_STATIC, text, wxDefaultPosition, wxDefaultSize, wxALIGN_LEFT | wxST_NO_AUTORESIZE);
    place(control, box);
    return control;
  };
  auto edit = [&](int id, DialogBox box) {
    auto* field = new wxTextCtrl(this, id, wxEmptyString);
    place(field, box);
    return field;
  };

  // Creation order is the tab order.
  auto* ok = new wxButton(this, wxID_OK, "OK");
  place(ok, {185, 15, 50, 15});
  ok->SetDefault();
  m_pOk = ok;

  // In the order made: COM1..COM4, then the other ports in natural order.
  wxArrayString ports;
  for (const PortChoice& choice : m_choices) ports.Add(wxString::FromUTF8(choice.label));
  m_pPort = new wxChoice(this, IDC_PORT, wxDefaultPosition, wxDefaultSize, ports);
  place(m_pPort, {65, 15, 48, 50});
  // A drop-down list is as high as one row; the 50 units hold the open list.
  m_pPort->SetSize(wxSize(m_pPort->GetSize().x, m_pPort->GetBestSize().y));
  Bind(wxEVT_CHOICE, &CComPortDlg::OnPortChosen, this, IDC_PORT);
  label("Serial Port", {15, 15, 35, 8});
  // The connection's other two parts right under the port, in the tab order too.
  m_pNetworkAddress = edit(IDC_NETWORK_ADDRESS, {68, 33, 112, 14});
  m_pNetworkAddress->SetHint("tcp://HOST:PORT");
  label("Network address", {15, 36, 52, 8});
  wxArrayString gpib;
  gpib.Add(kNoGpibText);
  for (int address = kLowestGpibAddress; address <= kHighestGpibAddress; ++address) {
    gpib.Add(address == kDefaultGpibAddress ? wxString::Format("%d (factory setting)", address)
                                            : wxString::Format("%d", address));
  }
  m_pGpibAddress = new wxChoice(this, IDC_GPIB_ADDRESS, wxDefaultPosition, wxDefaultSize, gpib);
  place(m_pGpibAddress, {68, 52, 70, 50});
  m_pGpibAddress->SetSize(wxSize(m_pGpibAddress->GetSize().x, m_pGpibAddress->GetBestSize().y));
  label("GPIB address", {15, 54, 50, 8});
  const int down = kConnectionRows;
  m_pSampleInterval = edit(IDC_SAMPLE_INTERVAL, {100, 45 + down, 40, 14});
  m_pMeasurementTime = edit(IDC_MEASUREMENT_TIME, {100, 70 + down, 40, 14});
  label("Time between samples", {15, 45 + down, 73, 8});
  label("Measurement time", {15, 70 + down, 65, 8});
  m_pOutputFile = edit(IDC_OUTPUT_FILE, {55, 135 + down, 125, 14});
  // Right after the field in the tab order, in the buttons' column.
  m_pBrowse = new wxButton(this, IDC_BROWSE, "Browse...");
  place(m_pBrowse, {185, 135 + down, 50, 14});
  Bind(wxEVT_BUTTON, &CComPortDlg::OnBrowse, this, IDC_BROWSE);
  label("Output file", {15, 135 + down, 35, 8});
  m_pIntervalUnit = label("sec", {145, 48 + down, 12, 8});
  m_pTimeUnit = label("sec", {145, 73 + down, 12, 8});
  m_pCancel = new wxButton(this, wxID_CANCEL, "Cancel");
  place(m_pCancel, {185, 43, 50, 14});
  label("Output voltage", {16, 96 + down, 65, 8});
  m_pOutputVoltage = edit(IDC_OUTPUT_VOLTAGE, {99, 96 + down, 40, 14});
  m_pVoltageUnit = label("V", {147, 99 + down, 8, 8});
  // After the classic controls, so their tab order stays as it was.
  m_pInstrument = new wxButton(this, IDC_INSTRUMENT, "Instrument...");
  place(m_pInstrument, {185, 94 + down, 50, 14});
  Bind(wxEVT_BUTTON, &CComPortDlg::OnInstrument, this, IDC_INSTRUMENT);
  m_pSteps = new wxButton(this, IDC_STEPS, "Steps...");
  place(m_pSteps, {185, 113 + down, 50, 14});
  Bind(wxEVT_BUTTON, &CComPortDlg::OnSteps, this, IDC_STEPS);
}

void CComPortDlg::FitToContents() {
  const int gap = wxDLG_UNIT(this, wxSize(5, 0)).x;

  // Each number field shows its longest valid value whole: 10000000 must not
  // lose its first digit to scrolling.
  auto widen = [&](wxTextCtrl* field, const char* longest, wxStaticText* unit) {
    const int needed = field->GetSizeFromTextSize(field->GetTextExtent(longest).x).x;
    if (needed > field->GetSize().x) field->SetSize(wxSize(needed, field->GetSize().y));
    const int unitLeft = field->GetRect().GetRight() + 1 + gap;
    if (unit->GetPosition().x < unitLeft) unit->Move(unitLeft, unit->GetPosition().y);
  };
  widen(m_pSampleInterval, "999.999", m_pIntervalUnit);
  widen(m_pMeasurementTime, "10000000", m_pTimeUnit);
  widen(m_pOutputVoltage, "-10.000", m_pVoltageUnit);

  // The port list as wide as its longest entry (within reason); the buttons
  // move right, and the dialog grows, only when the list would reach them.
  const int maxWidth = wxDLG_UNIT(this, wxSize(300, 0)).x;
  const int listWidth = std::min(std::max(m_pPort->GetSize().x, m_pPort->GetBestSize().x), maxWidth);
  m_pPort->SetSize(wxSize(listWidth, m_pPort->GetSize().y));
  int rightmost = std::max({m_pPort->GetRect().GetRight(), m_pIntervalUnit->GetRect().GetRight(),
                            m_pTimeUnit->GetRect().GetRight(), m_pVoltageUnit->GetRect().GetRight()});
  const int shift = rightmost + 1 + gap - m_pOk->GetPosition().x;
  if (shift > 0) {
    for (wxWindow* button : {m_pOk, m_pCancel, m_pInstrument, m_pSteps, m_pBrowse}) {
      button->Move(button->GetPosition() + wxPoint(shift, 0));
    }
    m_pOutputFile->SetSize(m_pOutputFile->GetSize() + wxSize(shift, 0));
    m_pNetworkAddress->SetSize(m_pNetworkAddress->GetSize() + wxSize(shift, 0));
    SetClientSize(GetClientSize() + wxSize(shift, 0));
  }
}

bool CComPortDlg::TransferDataToWindow() {
  int index = FindPortChoice(m_choices, m_strPortPath);
  if (index < 0) index = m_nPortIndex;
  if (index < 0 || index >= static_cast<int>(m_choices.size())) index = 0;
  m_pPort->SetSelection(index);
  // A remembered network port shows in the field it was typed in.
  if (m_choices[static_cast<std::size_t>(index)].network) m_strNetworkAddress = m_strPortPath;
  m_pNetworkAddress->ChangeValue(wxString::FromUTF8(m_strNetworkAddress));
  EnableNetworkAddress();
  m_pGpibAddress->SetSelection(GpibSelection(m_nGpibAddress));
  m_pOutputFile->ChangeValue(wxString::FromUTF8(m_strOutputFile));
  m_pMeasurementTime->ChangeValue(wxString::Format("%d", m_nMeasurementTime));
  m_pSampleInterval->ChangeValue(wxString::FromAscii(
      IntervalText(m_nSampleInterval > 0 ? m_nSampleInterval * 1000 : m_nSampleIntervalMs).c_str()));
  m_pOutputVoltage->ChangeValue(NumberText(m_dOutputVoltage));
  m_bScheduleShown = false;
  ShowSchedule();
  return true;
}

void CComPortDlg::ShowSchedule() {
  const bool steps = m_schedule.HasSteps();
  if (steps && !m_bScheduleShown) {
    m_savedVoltage = m_pOutputVoltage->GetValue();
    m_savedTime = m_pMeasurementTime->GetValue();
    m_nVoltageWidth = m_pOutputVoltage->GetSize().x;
  }
  if (steps) {
    const wxString summary = wxString::FromUTF8(ScheduleSummary(m_schedule));
    m_pOutputVoltage->ChangeValue(summary);
    m_pOutputVoltage->SetToolTip(summary);
    m_pMeasurementTime->ChangeValue(wxString::Format("%d", ScheduleMeasurementTime(m_schedule)));
    // The summary over the unit, up to the buttons' column.
    const int gap = wxDLG_UNIT(this, wxSize(5, 0)).x;
    const int room = m_pOk->GetPosition().x - gap - m_pOutputVoltage->GetPosition().x;
    const int needed = m_pOutputVoltage->GetSizeFromTextSize(m_pOutputVoltage->GetTextExtent(summary).x).x;
    m_pOutputVoltage->SetSize(wxSize(std::min(std::max(needed, m_nVoltageWidth), room), -1));
  } else if (m_bScheduleShown) {
    m_pOutputVoltage->ChangeValue(m_savedVoltage);
    m_pOutputVoltage->UnsetToolTip();
    m_pMeasurementTime->ChangeValue(m_savedTime);
    // As wide as before, or as the longest voltage once the dialog has fitted it.
    const int longest = m_pOutputVoltage->GetSizeFromTextSize(m_pOutputVoltage->GetTextExtent("-10.000").x).x;
    m_pOutputVoltage->SetSize(wxSize(std::max(m_nVoltageWidth, longest), -1));
  }
  m_bScheduleShown = steps;
  m_pVoltageUnit->Show(!steps);
  m_pOutputVoltage->SetEditable(!steps);
  m_pMeasurementTime->SetEditable(!steps);
  m_pOutputVoltage->Enable(!steps);
  m_pMeasurementTime->Enable(!steps);
}

void CComPortDlg::OnSteps(wxCommandEvent&) {
  CStepsDlg dialog(this);
  dialog.m_schedule = m_schedule;
  if (dialog.ShowModal() != wxID_OK) return;
  m_schedule = dialog.m_schedule;
  ShowSchedule();
}

bool CComPortDlg::TransferDataFromWindow() {
  m_nPortIndex = std::max(0, m_pPort->GetSelection());
  m_strPortPath = ChosenPort().device;
  m_strNetworkAddress = FieldText(m_pNetworkAddress);
  if (ChosenPort().network) {
    // "192.168.1.20:1234" is what a bridge's label says; the scheme is ours.
    std::string address = m_strNetworkAddress;
    if (!address.empty() && !IsNetworkAddress(address)) address = kNetworkAddressPrefix + address;
    if (address.empty()) address = kNetworkAddressPrefix;
    if (auto message = CheckNetworkAddress(address)) return FailField(m_pNetworkAddress, *message);
    m_strNetworkAddress = address;
    m_strPortPath = address;
  }
  const int gpibSelection = m_pGpibAddress->GetSelection();
  m_nGpibAddress = gpibSelection > 0 ? gpibSelection - 1 : kNoGpibAddress;
  m_strOutputFile = FieldText(m_pOutputFile);
  const bool steps = m_schedule.HasSteps();
  if (steps) {
    m_nMeasurementTime = ScheduleMeasurementTime(m_schedule);
  } else if (auto message = CheckIntSetting(FieldText(m_pMeasurementTime), kMeasurementTimeRange, m_nMeasurementTime)) {
    return FailField(m_pMeasurementTime, *message);
  }
  if (auto message = CheckIntervalSetting(FieldText(m_pSampleInterval), m_nSampleInterval, m_nSampleIntervalMs)) {
    // Named: the words are the ones ivra-run gives for --interval.
    (*message)[0] = static_cast<char>(std::tolower(static_cast<unsigned char>((*message)[0])));
    return FailField(m_pSampleInterval, std::string(kSampleIntervalRange.label) + ": " + *message);
  }
  // Each step must get its sample, which only the interval typed here tells.
  const int intervalMs = m_nSampleInterval > 0 ? m_nSampleInterval * 1000 : m_nSampleIntervalMs;
  for (std::size_t i = 0; steps && i < m_schedule.steps.size(); ++i) {
    const BiasStep& step = m_schedule.steps[i];
    BiasStep checked;
    if (auto message = CheckBiasStep(step.volts, static_cast<double>(step.durationMs) / 1000.0, intervalMs, checked)) {
      (*message)[0] = static_cast<char>(std::tolower(static_cast<unsigned char>((*message)[0])));
      ShowMessageBox(wxString::FromUTF8("Step " + std::to_string(i + 1) + ": " + *message + " Change it in Steps..."),
                     "Ivra", wxOK | wxICON_EXCLAMATION, this);
      m_pSteps->SetFocus();
      return false;
    }
  }
  if (!steps) {
    if (auto message = CheckDoubleSetting(FieldText(m_pOutputVoltage), kOutputVoltageRange, m_dOutputVoltage)) {
      return FailField(m_pOutputVoltage, *message);
    }
  }
  // After the numbers, whose checks and their order stay as they always were.
  if (m_strOutputFile.empty()) {
    return FailField(m_pOutputFile,
                     "Please enter the name of the output file, or choose one with the Browse... button.");
  }
  // Last, once the run would really start: a retyped name must not cost a run's data.
  const long long lines = ExistingLineCount(m_strOutputFile);
  // A file that cannot be written gets its reason now, not after Replace.
  FileCreateError cannotWrite;
  if (lines > 0 && !CanWriteExisting(m_strOutputFile, cannotWrite)) {
    return FailField(m_pOutputFile, FileCreateFailureMessage(m_strOutputFile, cannotWrite));
  }
  if (lines > 0 &&
      !AskMessageBox(wxString::FromUTF8(ReplaceQuestion(m_strOutputFile, lines)), "Ivra", "Replace", this)) {
    m_pOutputFile->SetFocus();
    m_pOutputFile->SelectAll();
    return false;
  }
  return true;
}

void CComPortDlg::OnPortChosen(wxCommandEvent&) {
  EnableNetworkAddress();
  // Choosing the entry means typing the address next.
  if (m_pNetworkAddress->IsEnabled()) {
    m_pNetworkAddress->SetFocus();
    m_pNetworkAddress->SelectAll();
  }
}

void CComPortDlg::EnableNetworkAddress() {
  const int selection = m_pPort->GetSelection();
  m_pNetworkAddress->Enable(selection >= 0 && m_choices[static_cast<std::size_t>(selection)].network);
}

std::string CComPortDlg::BrowseFolder() const {
  std::error_code ignored;
  const std::string shown = FieldText(m_pOutputFile);
  std::filesystem::path folder = std::filesystem::current_path(ignored);
  if (!shown.empty()) folder = std::filesystem::absolute(std::filesystem::u8path(shown), ignored).parent_path();
  return folder.u8string();
}

void CComPortDlg::OnBrowse(wxCommandEvent&) {
  const std::string name = std::filesystem::u8path(FieldText(m_pOutputFile)).filename().u8string();
  std::string chosen = AskSaveFilePath(this, BrowseFolder(), name);
  if (chosen.empty()) return;
  // So that File > Open's "*.dat" shows it later.
  if (!std::filesystem::u8path(chosen).has_extension()) chosen += ".dat";
  m_pOutputFile->ChangeValue(wxString::FromUTF8(chosen));
  m_pOutputFile->SetFocus();
}

bool CComPortDlg::FailField(wxTextCtrl* field, const std::string& message) {
  ShowMessageBox(wxString::FromUTF8(message), "Ivra", wxOK | wxICON_EXCLAMATION, this);
  field->SetFocus();
  field->SelectAll();
  return false;
}

void CComPortDlg::FocusFieldAtFault() {
  switch (m_focusField) {
    case SetupField::None: return;
    case SetupField::Port:
      // A network address that failed is fixed in its field, a serial port in the list.
      if (m_pNetworkAddress->IsEnabled()) {
        m_pNetworkAddress->SetFocus();
        m_pNetworkAddress->SelectAll();
      } else {
        m_pPort->SetFocus();
      }
      return;
    case SetupField::Instrument: m_pInstrument->SetFocus(); return;
    case SetupField::OutputFile:
      m_pOutputFile->SetFocus();
      m_pOutputFile->SelectAll();
      return;
    case SetupField::SampleInterval:
      m_pSampleInterval->SetFocus();
      m_pSampleInterval->SelectAll();
      return;
  }
}

void CComPortDlg::OnInstrument(wxCommandEvent&) {
  CInstrumentDlg dialog(this);
  dialog.m_settings = m_instrument;
  if (dialog.ShowModal() == wxID_OK) m_instrument = dialog.m_settings;
}
