// CStepsDlg: the "Steps" dialog that the Setup dialog opens for a bias
// schedule: a table of steps (voltage and duration) with Add, Remove, Up and
// Down, the number of passes through them and a ramp rate for every change of
// the set voltage.
//
// The fields under the table edit the selected row. OK checks the rows from
// the top with ivra-run's checks and stops at the first bad one, naming it
// ("Row 3: please enter a voltage between -10 and 10."), then the repeat
// count and the ramp; no rows and no ramp is no schedule. A step shorter than
// the time between samples is the Setup's to refuse, since the interval is
// typed there. Open... and Save... read and write the steps files that
// ivra-run's --steps takes. Clear ends the dialog with no schedule.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <wx/dialog.h>

#include "run/bias_schedule.h"

class wxListCtrl;
class wxListEvent;
class wxTextCtrl;

constexpr int IDC_STEPS_LIST = 1201;
constexpr int IDC_STEP_VOLTS = 1202;
constexpr int IDC_STEP_SECONDS = 1203;
constexpr int IDC_STEP_ADD = 1204;
constexpr int IDC_STEP_REMOVE = 1205;
constexpr int IDC_STEP_UP = 1206;
constexpr int IDC_STEP_DOWN = 1207;
constexpr int IDC_STEPS_REPEAT = 1208;
constexpr int IDC_STEPS_RAMP = 1209;
constexpr int IDC_STEPS_OPEN = 1210;
constexpr int IDC_STEPS_SAVE = 1211;
constexpr int IDC_STEPS_CLEAR = 1212;

class CStepsDlg : public wxDialog {
 public:
  explicit CStepsDlg(wxWindow* pParent);
  ~CStepsDlg() override;

  bool TransferDataToWindow() override;
  bool TransferDataFromWindow() override;

  // Shown on opening; on OK (and on Clear) what was accepted.
  BiasSchedule m_schedule;

  // The rows as typed: voltage and seconds.
  const std::vector<std::pair<std::string, std::string>>& Rows() const { return m_rows; }
  int SelectedRow() const { return m_nSelected; }
  void SelectRow(int row);

  // Open... and Save... after their file dialogs. False (with the message
  // shown) when the file cannot be read or written, or holds a bad line.
  bool OpenStepsFile(const std::string& path);
  bool SaveStepsFile(const std::string& path);

 private:
  void CreateControls();
  void ShowRows();
  // The rows as steps; on a bad one shows the message, selects the row and
  // returns false.
  bool ReadRows(std::vector<BiasStep>& steps);
  bool Fail(wxWindow* field, const std::string& message);
  void OnSelected(wxListEvent& event);
  void OnRowEdited(wxCommandEvent& event);
  void OnAdd(wxCommandEvent& event);
  void OnRemove(wxCommandEvent& event);
  void OnMove(wxCommandEvent& event);
  void OnOpen(wxCommandEvent& event);
  void OnSave(wxCommandEvent& event);
  void OnClear(wxCommandEvent& event);

  std::vector<std::pair<std::string, std::string>> m_rows;
  int m_nSelected = -1;
  wxListCtrl* m_pList = nullptr;
  wxTextCtrl* m_pVolts = nullptr;
  wxTextCtrl* m_pSeconds = nullptr;
  wxTextCtrl* m_pRepeat = nullptr;
  wxTextCtrl* m_pRamp = nullptr;
};
