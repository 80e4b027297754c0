#include "schedule_ui/steps_dlg.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/listctrl.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
// After msgdlg.h, which it needs declared first.
#include <wx/generic/msgdlgg.h>

#include "text/setting_checks.h"

namespace {

// The first row; each later one starts as a copy of the last, so a staircase
// is typed by changing one number a row.
const std::pair<std::string, std::string> kFirstRow{"0", "60"};

std::string FieldText(const wxTextCtrl* field) { return field->GetValue().utf8_string(); }

std::string Lowered(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

std::string NumberText(double value) {
  std::ostringstream text;
  text.precision(15);
  text << value;
  return text.str();
}

// The generic box, like every other box of the program: tests and a stop
// signal can end it from outside.
void Say(wxWindow* parent, const std::string& text) {
  wxGenericMessageDialog box(parent, wxString::FromUTF8(text), "Ivra", wxOK | wxICON_EXCLAMATION);
  box.ShowModal();
}

}  // namespace

CStepsDlg::CStepsDlg(wxWindow* pParent) {
  Create(pParent, wxID_ANY, "Steps", wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
  CreateControls();
  Centre();
}

CStepsDlg::~CStepsDlg() = default;

void CStepsDlg::CreateControls() {
  auto* top = new wxBoxSizer(wxVERTICAL);
  auto* body = new wxBoxSizer(wxHORIZONTAL);
  auto* left = new wxBoxSizer(wxVERTICAL);
  m_pList = new wxListCtrl(this, IDC_STEPS_LIST, wxDefaultPosition, wxDLG_UNIT(this, wxSize(130, 90)),
                           wxLC_REPORT | wxLC_SINGLE_SEL);
  m_pList->AppendColumn("Voltage (V)", wxLIST_FORMAT_RIGHT, wxDLG_UNIT(this, wxSize(60, 0)).x);
  m_pList->AppendColumn("Duration (s)", wxLIST_FORMAT_RIGHT, wxDLG_UNIT(this, wxSize(60, 0)).x);
  left->Add(m_pList, 1, wxEXPAND | wxALL, 5);
  auto* row = new wxFlexGridSizer(2, 5, 5);
  auto label = [&](const char* text) {
    row->Add(new wxStaticText(this, wxID_STATIC, text), 0, wxALIGN_CENTER_VERTICAL);
  };
  auto edit = [&](int id) {
    auto* field = new wxTextCtrl(this, id, wxEmptyString, wxDefaultPosition, wxDLG_UNIT(this, wxSize(50, -1)));
    row->Add(field);
    return field;
  };
  label("Voltage (V)");
  m_pVolts = edit(IDC_STEP_VOLTS);
  label("Duration (s)");
  m_pSeconds = edit(IDC_STEP_SECONDS);
  label("Repeat (passes)");
  m_pRepeat = edit(IDC_STEPS_REPEAT);
  label("Ramp (V/s)");
  m_pRamp = edit(IDC_STEPS_RAMP);
  m_pRamp->SetHint("none");
  left->Add(row, 0, wxALL, 5);
  body->Add(left, 1, wxEXPAND);

  auto* buttons = new wxBoxSizer(wxVERTICAL);
  auto button = [&](int id, const char* text, void (CStepsDlg::*handler)(wxCommandEvent&)) {
    auto* control = new wxButton(this, id, text);
    buttons->Add(control, 0, wxEXPAND | wxBOTTOM, 4);
    if (handler != nullptr) Bind(wxEVT_BUTTON, handler, this, id);
    return control;
  };
  button(wxID_OK, "OK", nullptr)->SetDefault();
  button(wxID_CANCEL, "Cancel", nullptr);
  buttons->AddSpacer(8);
  button(IDC_STEP_ADD, "Add", &CStepsDlg::OnAdd);
  button(IDC_STEP_REMOVE, "Remove", &CStepsDlg::OnRemove);
  button(IDC_STEP_UP, "Up", &CStepsDlg::OnMove);
  button(IDC_STEP_DOWN, "Down", &CStepsDlg::OnMove);
  buttons->AddSpacer(8);
  button(IDC_STEPS_OPEN, "Open...", &CStepsDlg::OnOpen);
  button(IDC_STEPS_SAVE, "Save...", &CStepsDlg::OnSave);
  button(IDC_STEPS_CLEAR, "Clear", &CStepsDlg::OnClear);
  body->Add(buttons, 0, wxALL, 5);
  top->Add(body, 1, wxEXPAND | wxALL, 5);
  SetSizerAndFit(top);

  m_pList->Bind(wxEVT_LIST_ITEM_SELECTED, &CStepsDlg::OnSelected, this);
  m_pVolts->Bind(wxEVT_TEXT, &CStepsDlg::OnRowEdited, this);
  m_pSeconds->Bind(wxEVT_TEXT, &CStepsDlg::OnRowEdited, this);
}

bool CStepsDlg::TransferDataToWindow() {
  m_rows.clear();
  for (const BiasStep& step : m_schedule.steps) {
    m_rows.emplace_back(NumberText(step.volts), NumberText(static_cast<double>(step.durationMs) / 1000.0));
  }
  m_pRepeat->ChangeValue(wxString::Format("%d", m_schedule.repeat));
  m_pRamp->ChangeValue(m_schedule.HasRamp() ? wxString::FromUTF8(NumberText(m_schedule.rampVoltsPerSecond))
                                            : wxString());
  m_nSelected = m_rows.empty() ? -1 : 0;
  ShowRows();
  return true;
}

void CStepsDlg::ShowRows() {
  m_pList->DeleteAllItems();
  for (std::size_t i = 0; i < m_rows.size(); ++i) {
    const long item = m_pList->InsertItem(static_cast<long>(i), wxString::FromUTF8(m_rows[i].first));
    m_pList->SetItem(item, 1, wxString::FromUTF8(m_rows[i].second));
  }
  SelectRow(m_nSelected);
}

void CStepsDlg::SelectRow(int row) {
  m_nSelected = row >= 0 && row < static_cast<int>(m_rows.size()) ? row : -1;
  const bool any = m_nSelected >= 0;
  if (any) {
    m_pList->SetItemState(m_nSelected, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                          wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    m_pList->EnsureVisible(m_nSelected);
  }
  const auto& values = any ? m_rows[static_cast<std::size_t>(m_nSelected)] : std::pair<std::string, std::string>{};
  m_pVolts->ChangeValue(wxString::FromUTF8(values.first));
  m_pSeconds->ChangeValue(wxString::FromUTF8(values.second));
  m_pVolts->Enable(any);
  m_pSeconds->Enable(any);
  for (int id : {IDC_STEP_REMOVE, IDC_STEP_UP, IDC_STEP_DOWN}) FindWindow(id)->Enable(any);
}

void CStepsDlg::OnSelected(wxListEvent& event) {
  if (event.GetIndex() != m_nSelected) SelectRow(static_cast<int>(event.GetIndex()));
}

void CStepsDlg::OnRowEdited(wxCommandEvent&) {
  if (m_nSelected < 0) return;
  auto& values = m_rows[static_cast<std::size_t>(m_nSelected)];
  values = {FieldText(m_pVolts), FieldText(m_pSeconds)};
  m_pList->SetItem(m_nSelected, 0, wxString::FromUTF8(values.first));
  m_pList->SetItem(m_nSelected, 1, wxString::FromUTF8(values.second));
}

void CStepsDlg::OnAdd(wxCommandEvent&) {
  m_rows.push_back(m_rows.empty() ? kFirstRow : m_rows.back());
  m_nSelected = static_cast<int>(m_rows.size()) - 1;
  ShowRows();
  m_pVolts->SetFocus();
  m_pVolts->SelectAll();
}

void CStepsDlg::OnRemove(wxCommandEvent&) {
  if (m_nSelected < 0) return;
  m_rows.erase(m_rows.begin() + m_nSelected);
  if (m_nSelected >= static_cast<int>(m_rows.size())) --m_nSelected;
  ShowRows();
}

void CStepsDlg::OnMove(wxCommandEvent& event) {
  const int to = m_nSelected + (event.GetId() == IDC_STEP_UP ? -1 : 1);
  if (m_nSelected < 0 || to < 0 || to >= static_cast<int>(m_rows.size())) return;
  std::swap(m_rows[static_cast<std::size_t>(m_nSelected)], m_rows[static_cast<std::size_t>(to)]);
  m_nSelected = to;
  ShowRows();
}

bool CStepsDlg::Fail(wxWindow* field, const std::string& message) {
  Say(this, message);
  field->SetFocus();
  if (auto* text = dynamic_cast<wxTextCtrl*>(field)) text->SelectAll();
  return false;
}

bool CStepsDlg::ReadRows(std::vector<BiasStep>& steps) {
  steps.clear();
  for (std::size_t i = 0; i < m_rows.size(); ++i) {
    double volts = 0.0;
    double seconds = 0.0;
    std::optional<std::string> problem;
    BiasStep step;
    // The steps file's own grammar, so a row takes what a file's line takes.
    if (ParseStepLine(m_rows[i].first + " " + m_rows[i].second, volts, seconds) != StepLine::Step) {
      problem = "Please enter a voltage and a duration in seconds, e.g. 0.5 and 60.";
    } else {
      // The shortest interval any Setup takes; the Setup checks its own.
      problem = CheckBiasStep(volts, seconds, kMinSampleIntervalMs, step);
    }
    if (problem) {
      SelectRow(static_cast<int>(i));
      return Fail(m_pVolts, "Row " + std::to_string(i + 1) + ": " + Lowered(*problem));
    }
    steps.push_back(step);
  }
  return true;
}

bool CStepsDlg::TransferDataFromWindow() {
  BiasSchedule schedule;
  if (!ReadRows(schedule.steps)) return false;
  if (auto message = CheckIntSetting(FieldText(m_pRepeat), kRepeatRange, schedule.repeat)) {
    return Fail(m_pRepeat, std::string(kRepeatRange.label) + ": " + Lowered(*message));
  }
  // Empty or 0: every change at once, as the run takes 0.
  const std::string ramp = FieldText(m_pRamp);
  double rate = 0.0;
  if (ramp.find_first_not_of(" \t") != std::string::npos && CheckDoubleSetting(ramp, {"Ramp", 0.0, 0.0}, rate)) {
    if (auto message = CheckRampSetting(ramp, rate)) return Fail(m_pRamp, "Ramp: " + Lowered(*message));
  }
  schedule.rampVoltsPerSecond = rate;
  if (auto message = CheckScheduleTotal(schedule)) return Fail(m_pRepeat, *message);
  if (!schedule.HasSteps()) schedule.repeat = 1;
  m_schedule = schedule;
  return true;
}

bool CStepsDlg::OpenStepsFile(const std::string& path) {
  std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
  std::ostringstream text;
  if (!file || !(text << file.rdbuf())) {
    Say(this, "Can't read " + path + ".");
    return false;
  }
  std::vector<BiasStep> steps;
  int badLine = 0;
  if (auto problem = CheckStepsText(text.str(), kMinSampleIntervalMs, steps, badLine)) {
    Say(this, badLine > 0 ? StepsFileLineMessage(path, badLine, *problem) : *problem);
    return false;
  }
  m_rows.clear();
  for (const BiasStep& step : steps) {
    m_rows.emplace_back(NumberText(step.volts), NumberText(static_cast<double>(step.durationMs) / 1000.0));
  }
  m_nSelected = 0;
  ShowRows();
  return true;
}

bool CStepsDlg::SaveStepsFile(const std::string& path) {
  std::vector<BiasStep> steps;
  if (!ReadRows(steps)) return false;
  std::ofstream file(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  if (!(file << StepsFileText(steps)) || !file.flush()) {
    Say(this, "Can't write " + path + ".");
    return false;
  }
  return true;
}

void CStepsDlg::OnOpen(wxCommandEvent&) {
  wxFileDialog dialog(this, "Open steps", wxEmptyString, wxEmptyString, "Steps files (*.txt)|*.txt|All files (*)|*",
                      wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (dialog.ShowModal() == wxID_OK) OpenStepsFile(dialog.GetPath().utf8_string());
}

void CStepsDlg::OnSave(wxCommandEvent&) {
  wxFileDialog dialog(this, "Save steps", wxEmptyString, "steps.txt", "Steps files (*.txt)|*.txt|All files (*)|*",
                      wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (dialog.ShowModal() == wxID_OK) SaveStepsFile(dialog.GetPath().utf8_string());
}

void CStepsDlg::OnClear(wxCommandEvent&) {
  m_schedule = BiasSchedule{};
  EndModal(wxID_OK);
}
