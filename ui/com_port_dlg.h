// CComPortDlg: the "Setup" dialog that asks for the serial port, the two times,
// the output voltage and the output file of a measurement.
//
// Opening shows the members in the controls; OK reads and checks the controls
// in a fixed order (port, output file, measurement time, time between samples,
// output voltage) and stops at the first bad field: its message is shown, the
// focus goes into that field and the typed text stays. Cancel, Escape and the
// close box read nothing.
#pragma once

#include <string>

#include <wx/dialog.h>

class wxChoice;
class wxTextCtrl;

class CComPortDlg : public wxDialog {
 public:
  explicit CComPortDlg(wxWindow* pParent = nullptr);
  ~CComPortDlg() override;

  std::string GetOutputFile() const { return m_strOutputFile; }

  // Members to controls (on opening) and controls to members (on OK).
  bool TransferDataToWindow() override;
  bool TransferDataFromWindow() override;

  int m_nPortIndex = 0;  // 0 = COM1
  std::string m_strOutputFile;
  int m_nMeasurementTime = 1000;
  int m_nSampleInterval = 1;
  double m_dOutputVoltage = 0.5;

 private:
  void CreateControls();
  // Shows `message`, puts the focus into `field` with its text selected, and
  // returns false, so OK leaves the dialog open.
  bool FailField(wxTextCtrl* field, const std::string& message);

  wxChoice* m_pPort = nullptr;
  wxTextCtrl* m_pSampleInterval = nullptr;
  wxTextCtrl* m_pMeasurementTime = nullptr;
  wxTextCtrl* m_pOutputFile = nullptr;
  wxTextCtrl* m_pOutputVoltage = nullptr;
};
