// CUnfinishedRunDlg: one unfinished run offered to the user: what the offer
// says (which file, which connection, the last line, the output that may
// still be on) and three buttons, "Switch Output Off", "Continue Measuring"
// and "Later". Continue Measuring is greyed while the window measures, or
// when the run cannot be continued; the reason shows under the buttons.
// Escape and the close box mean Later; Enter switches the output off, the
// choice that never leaves an instrument on by accident.
#pragma once

#include <string>

#include <wx/dialog.h>

constexpr int IDC_SWITCH_OUTPUT_OFF = 1301;
constexpr int IDC_CONTINUE_MEASURING = 1302;
constexpr int IDC_LATER = 1303;

// Cancelled: ended from outside (the program closes on a signal), not by the user.
enum class UnfinishedRunChoice { SwitchOutputOff, ContinueMeasuring, Later, Cancelled };

class CUnfinishedRunDlg : public wxDialog {
 public:
  // `whyNoContinue`: empty when Continue Measuring is offered, else why not.
  CUnfinishedRunDlg(wxWindow* pParent, const std::string& text, const std::string& whyNoContinue);

  // Shows it modally and tells what was chosen.
  UnfinishedRunChoice Ask();

 private:
  void OnChoice(wxCommandEvent& event);
  void OnClose(wxCloseEvent& event);
};
