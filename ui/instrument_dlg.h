// CInstrumentDlg: the "Instrument" dialog that the Setup dialog opens for the
// settings a bench may change on the SourceMeter: the current limit
// (compliance), the current range, the integration time (NPLC), auto-zero and
// the serial line's baud rate and data format (data bits and parity).
//
// Opening shows m_settings; OK reads and checks the two number fields (current
// limit, then NPLC) and stops at the first bad one, as the Setup dialog does:
// its message is shown, the focus goes into that field and the typed text
// stays. The lists cannot hold a bad value. Cancel, Escape and the close box
// read nothing.
#pragma once

#include <string>

#include <wx/dialog.h>

#include "instrument/instrument_settings.h"

class wxChoice;
class wxTextCtrl;
class wxStaticText;

class CInstrumentDlg : public wxDialog {
 public:
  explicit CInstrumentDlg(wxWindow* pParent);
  ~CInstrumentDlg() override;

  bool TransferDataToWindow() override;
  bool TransferDataFromWindow() override;

  InstrumentSettings m_settings;

 private:
  void CreateControls();
  bool FailField(wxTextCtrl* field, const std::string& message);
  // The least interval of the values as they stand in the fields.
  void ShowLeastInterval();

  wxTextCtrl* m_pCurrentLimit = nullptr;
  wxChoice* m_pCurrentRange = nullptr;
  wxTextCtrl* m_pNplc = nullptr;
  wxChoice* m_pAutoZero = nullptr;
  wxChoice* m_pBaudRate = nullptr;
  wxChoice* m_pLineFormat = nullptr;
  wxStaticText* m_pLeastInterval = nullptr;
};

// The shortest text that reads back as exactly `value` ("0.000105", "1e-09").
std::string ExactNumberText(double value);

// The checks of the two number fields, shared with the profile that remembers
// the values, so that a hand-edited profile never presets a refused value.
bool IsAllowedCurrentLimit(double amperes);
bool IsAllowedNplc(double nplc);
// Positions in the lists: the range's place in kCurrentRanges plus one (0 is
// Auto), the baud rate's place in kBaudRates; -1 when the value is none of them.
int CurrentRangeIndex(double amperes);
int BaudRateIndex(int baud);
// The format's place in the list of the formats the instrument's menu offers
// (8 bits without parity first); -1 when it offers no such format.
int LineFormatIndex(const LineFormat& format);
// The format at a place in that list.
LineFormat LineFormatAt(int index);
