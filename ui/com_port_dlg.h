// CComPortDlg: the "Setup" dialog that asks for the serial port, the two times,
// the output voltage and the output file of a measurement.
//
// Opening shows the members in the controls; OK reads and checks the controls
// in a fixed order (port, output file, measurement time, time between samples,
// output voltage) and stops at the first bad field: its message is shown, the
// focus goes into that field and the typed text stays. After them an empty
// output file is refused the same way. When all are good and the output file
// already holds lines, OK asks before it lets the run replace them; Cancel
// there keeps the dialog open as it was. Cancel, Escape and the close box read nothing.
//
// Browse..., after the output file in the tab order, picks the file with the
// platform's save-file dialog, starting in the folder of the file shown.
//
// The Instrument... button opens the instrument settings (current limit, range,
// NPLC, auto-zero, baud rate); they are taken with the rest on OK only.
//
// Steps..., under Instrument..., opens the bias schedule (CStepsDlg). While
// the schedule has steps the output voltage field shows its summary and the
// measurement time field its total, both read-only; without steps they hold
// what they held before. With steps OK refuses a step shorter than the time
// between samples, after the interval's own check, naming the step.
//
// The port list holds COM1..COM4, each with the device it maps to, then every
// other port found, then "Network address (tcp://HOST:PORT)"; it preselects the
// entry for m_strPortPath when there is one. The network address field beside
// it takes part only while that entry is chosen; OK checks it first of all.
// The "GPIB address" list ("none (RS-232)", 0..30) puts a Prologix controller
// in front of whichever port is chosen.
#pragma once

#include <string>
#include <vector>

#include <wx/dialog.h>

#include "instrument/instrument_settings.h"
#include "run/bias_schedule.h"
#include "ui/port_choices.h"

class wxChoice;
class wxCommandEvent;
class wxStaticText;
class wxTextCtrl;

// The field a failed Start blames, focused when Setup opens again.
enum class SetupField { None, Port, OutputFile, SampleInterval, Instrument };

// The Setup dialog's connection controls.
constexpr int IDC_NETWORK_ADDRESS = 1007;  // tcp://HOST:PORT
constexpr int IDC_GPIB_ADDRESS = 1008;     // "none (RS-232)", 0..30
constexpr int IDC_STEPS = 1009;            // opens the Steps dialog

class CComPortDlg : public wxDialog {
 public:
  // The port list holds COM1..COM4 as `ports` maps them, then the other ports
  // that `listPorts` finds.
  CComPortDlg(wxWindow* pParent, const PortTable& ports, const PortLister& listPorts);
  CComPortDlg(wxWindow* pParent, std::vector<PortChoice> choices);
  ~CComPortDlg() override;

  std::string GetOutputFile() const { return m_strOutputFile; }

  // Members to controls (on opening) and controls to members (on OK).
  bool TransferDataToWindow() override;
  bool TransferDataFromWindow() override;

  int m_nPortIndex = 0;  // 0 = COM1; a position in the port list
  // On opening: the device to select when the list has it (else m_nPortIndex
  // is selected). On OK: the chosen entry's device.
  std::string m_strPortPath;
  // The network address field's text, shown (greyed) also while a serial port
  // is chosen; on OK, when the network entry is chosen, also m_strPortPath.
  std::string m_strNetworkAddress;
  int m_nGpibAddress = -1;  // -1: none (RS-232); 0..30 a Prologix controller's instrument
  std::string m_strOutputFile;
  int m_nMeasurementTime = 1000;
  int m_nSampleInterval = 1;    // whole seconds; 0 when below a second or with decimals
  int m_nSampleIntervalMs = 0;  // the interval in ms when m_nSampleInterval is 0
  double m_dOutputVoltage = 0.5;
  // Shown and changed by the Instrument dialog; taken with the rest on OK.
  InstrumentSettings m_instrument;
  // Shown and changed by the Steps dialog; taken with the rest on OK. With
  // steps, m_nMeasurementTime is their total on OK and m_dOutputVoltage stays.
  BiasSchedule m_schedule;
  // Focused, its text selected, once the dialog is on screen.
  SetupField m_focusField = SetupField::None;

  // The chosen entry of the port list (valid after OK).
  const PortChoice& ChosenPort() const { return m_choices[static_cast<std::size_t>(m_nPortIndex)]; }

 private:
  void CreateControls();
  // Widens the port list and the number fields to their longest entries,
  // moving what stands beside them along; the dialog grows only if needed.
  void FitToContents();
  // Shows `message`, puts the focus into `field` with its text selected, and
  // returns false, so OK leaves the dialog open.
  bool FailField(wxTextCtrl* field, const std::string& message);
  // The network address field takes part only while its entry is chosen.
  void OnPortChosen(wxCommandEvent& event);
  void EnableNetworkAddress();
  // Takes the output file from the save-file dialog.
  void OnBrowse(wxCommandEvent& event);
  // The folder the save-file dialog starts in: the shown file's, else the current one.
  std::string BrowseFolder() const;
  void OnInstrument(wxCommandEvent& event);
  void OnSteps(wxCommandEvent& event);
  // The voltage and time fields as the schedule has them: its summary and
  // total while it has steps, the texts from before it otherwise.
  void ShowSchedule();
  void FocusFieldAtFault();

  wxChoice* m_pPort = nullptr;
  wxTextCtrl* m_pNetworkAddress = nullptr;
  wxChoice* m_pGpibAddress = nullptr;
  wxTextCtrl* m_pSampleInterval = nullptr;
  wxTextCtrl* m_pMeasurementTime = nullptr;
  wxTextCtrl* m_pOutputFile = nullptr;
  wxWindow* m_pBrowse = nullptr;
  wxTextCtrl* m_pOutputVoltage = nullptr;
  wxStaticText* m_pIntervalUnit = nullptr;
  wxStaticText* m_pTimeUnit = nullptr;
  wxStaticText* m_pVoltageUnit = nullptr;
  wxWindow* m_pOk = nullptr;
  wxWindow* m_pCancel = nullptr;
  wxWindow* m_pInstrument = nullptr;
  wxWindow* m_pSteps = nullptr;
  // The fields' texts while the schedule's summary stands in them.
  bool m_bScheduleShown = false;
  wxString m_savedVoltage;
  wxString m_savedTime;
  int m_nVoltageWidth = 0;
  std::vector<PortChoice> m_choices;
};
