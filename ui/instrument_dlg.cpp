#include "ui/instrument_dlg.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "decimal/decimal_text.h"
#include "text/run_text.h"
#include "text/setting_checks.h"
#include "ui/command_ids.h"
#include "ui/message_box.h"

namespace {

// The dialog checks what ivra-run's options check, in the same words.
constexpr const DoubleSettingRange& kCurrentLimitField = kCurrentLimitRange;
constexpr const DoubleSettingRange& kNplcField = kNplcRange;

const AutoZero kAutoZeroChoices[] = {AutoZero::On, AutoZero::Once, AutoZero::Off};

// The formats of the instrument's RS-232 menu, the factory one first; the list
// holds no other, so the dialog cannot choose one the instrument lacks.
const LineFormat kLineFormats[] = {
    {Parity::None, 8}, {Parity::Even, 8}, {Parity::Odd, 8}, {Parity::Even, 7}, {Parity::Odd, 7}};

// "1 µA", "100 mA", "1 A": the range as the instrument's front panel names it.
wxString RangeLabel(double amperes) {
  if (amperes >= 1.0) return wxString::Format("%g A", amperes);
  if (amperes >= 1e-3) return wxString::Format("%g mA", std::round(amperes * 1e3));
  return wxString::Format("%g ", std::round(amperes * 1e6)) + wxString::FromUTF8("\xC2\xB5") + "A";
}

std::string FieldText(const wxTextCtrl* field) { return field->GetValue().utf8_string(); }

}  // namespace

std::string ExactNumberText(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

bool IsAllowedCurrentLimit(double amperes) {
  return amperes >= kCurrentLimitField.minimum && amperes <= kCurrentLimitField.maximum;
}

bool IsAllowedNplc(double nplc) { return nplc >= kNplcField.minimum && nplc <= kNplcField.maximum; }

int CurrentRangeIndex(double amperes) {
  if (amperes == 0.0) return 0;
  for (std::size_t i = 0; i < std::size(kCurrentRanges); ++i) {
    if (kCurrentRanges[i] == amperes) return static_cast<int>(i) + 1;
  }
  return -1;
}

int LineFormatIndex(const LineFormat& format) {
  for (std::size_t i = 0; i < std::size(kLineFormats); ++i) {
    if (kLineFormats[i] == format) return static_cast<int>(i);
  }
  return -1;
}

LineFormat LineFormatAt(int index) {
  return index >= 0 && index < static_cast<int>(std::size(kLineFormats)) ? kLineFormats[index] : LineFormat();
}

int BaudRateIndex(int baud) {
  for (std::size_t i = 0; i < std::size(kBaudRates); ++i) {
    if (kBaudRates[i] == baud) return static_cast<int>(i);
  }
  return -1;
}

CInstrumentDlg::CInstrumentDlg(wxWindow* pParent) {
  Create(pParent, wxID_ANY, "Instrument", wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
  // The Setup dialog's font, so the two look alike.
  SetFont(wxFont(wxFontInfo(8).Family(wxFONTFAMILY_SWISS).FaceName("MS Sans Serif")));
  CreateControls();
  Centre();
}

CInstrumentDlg::~CInstrumentDlg() = default;

void CInstrumentDlg::CreateControls() {
  const int gap = wxDLG_UNIT(this, wxSize(4, 4)).x;
  auto* grid = new wxFlexGridSizer(4, wxSize(gap, gap));
  auto text = [this](const wxString& words) { return new wxStaticText(this, wxID_STATIC, words); };
  auto hint = [&](const wxString& words) {
    wxStaticText* label = text(words);
    label->SetForegroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT));
    return label;
  };
  // One row: label, control, unit, the allowed values. Creation order is the tab order.
  auto row = [&](const char* label, wxWindow* control, const wxString& unit, const wxString& allowed) {
    grid->Add(text(label), wxSizerFlags().CentreVertical());
    grid->Add(control, wxSizerFlags().Expand().CentreVertical());
    grid->Add(text(unit), wxSizerFlags().CentreVertical());
    grid->Add(hint(allowed), wxSizerFlags().CentreVertical());
  };

  m_pCurrentLimit = new wxTextCtrl(this, IDC_CURRENT_LIMIT, wxEmptyString);
  row(kCurrentLimitField.label, m_pCurrentLimit, "A", "compliance, 1 nA to " + FormatGeneral(kMaxCurrentLimit) + " A");

  wxArrayString ranges;
  ranges.Add("Auto");
  for (double range : kCurrentRanges) ranges.Add(RangeLabel(range));
  m_pCurrentRange = new wxChoice(this, IDC_CURRENT_RANGE, wxDefaultPosition, wxDefaultSize, ranges);
  row("Current range", m_pCurrentRange, "", "");

  m_pNplc = new wxTextCtrl(this, IDC_NPLC, wxEmptyString);
  row(kNplcField.label, m_pNplc, "PLC",
      "power-line cycles, " + FormatGeneral(kMinNplc) + " to " + FormatGeneral(kMaxNplc));

  wxArrayString autoZero;
  for (const char* name : {"On", "Once", "Off"}) autoZero.Add(name);
  m_pAutoZero = new wxChoice(this, IDC_AUTO_ZERO, wxDefaultPosition, wxDefaultSize, autoZero);
  row("Auto-zero", m_pAutoZero, "", "");

  wxArrayString rates;
  for (int baud : kBaudRates) rates.Add(wxString::Format("%d", baud));
  m_pBaudRate = new wxChoice(this, IDC_BAUD_RATE, wxDefaultPosition, wxDefaultSize, rates);
  row("Baud rate", m_pBaudRate, "baud", "");

  wxArrayString formats;
  for (const LineFormat& format : kLineFormats) formats.Add(wxString::FromUTF8(LineFormatText(format)));
  m_pLineFormat = new wxChoice(this, IDC_LINE_FORMAT, wxDefaultPosition, wxDefaultSize, formats);
  row("Data format", m_pLineFormat, "", "parity catches a damaged byte");

  // The number fields as wide as the lists, and wide enough for "0.000105".
  int width = GetTextExtent("0.0000001234").x;
  for (wxWindow* control : {static_cast<wxWindow*>(m_pCurrentRange), static_cast<wxWindow*>(m_pAutoZero),
                            static_cast<wxWindow*>(m_pBaudRate), static_cast<wxWindow*>(m_pLineFormat)}) {
    width = std::max(width, control->GetBestSize().x);
  }
  for (wxTextCtrl* field : {m_pCurrentLimit, m_pNplc}) {
    width = std::max(width, field->GetSizeFromTextSize(GetTextExtent("0.0000001234").x).x);
  }
  for (wxWindow* control : {static_cast<wxWindow*>(m_pCurrentLimit), static_cast<wxWindow*>(m_pCurrentRange),
                            static_cast<wxWindow*>(m_pNplc), static_cast<wxWindow*>(m_pAutoZero),
                            static_cast<wxWindow*>(m_pBaudRate), static_cast<wxWindow*>(m_pLineFormat)}) {
    control->SetMinSize(wxSize(width, -1));
  }

  // Laid out as wide as the longest text it can show.
  InstrumentSettings slowest;
  slowest.nplc = kMaxNplc;
  slowest.baud = kBaudRates[0];
  m_pLeastInterval = new wxStaticText(this, IDC_LEAST_INTERVAL, wxString::FromUTF8(LeastIntervalNote(slowest)),
                                      wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE);
  Bind(
      wxEVT_TEXT, [this](wxCommandEvent&) { ShowLeastInterval(); }, IDC_NPLC);
  for (int id : {IDC_AUTO_ZERO, IDC_BAUD_RATE, IDC_LINE_FORMAT}) {
    Bind(
        wxEVT_CHOICE,
        [this](wxCommandEvent& event) {
          event.Skip();
          ShowLeastInterval();
        },
        id);
  }

  auto* note = text(
      "The instrument's own RS-232 baud rate, data bits and parity (MENU > COMMUNICATION > RS-232) must be set to "
      "the same values.");
  auto* top = new wxBoxSizer(wxVERTICAL);
  const int border = wxDLG_UNIT(this, wxSize(7, 7)).x;
  top->Add(grid, wxSizerFlags().Border(wxLEFT | wxRIGHT | wxTOP, border));
  top->Add(m_pLeastInterval, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxTOP, border));
  top->Add(note, wxSizerFlags().Border(wxLEFT | wxRIGHT | wxTOP, border));
  auto* buttons = new wxStdDialogButtonSizer;
  auto* ok = new wxButton(this, wxID_OK, "OK");
  ok->SetDefault();
  buttons->AddButton(ok);
  buttons->AddButton(new wxButton(this, wxID_CANCEL, "Cancel"));
  buttons->Realize();
  top->Add(buttons, wxSizerFlags().Right().Border(wxALL, border));
  SetSizer(top);
  // The note wraps to the width of the rows above it.
  Layout();
  note->Wrap(std::max(grid->GetMinSize().x, wxDLG_UNIT(this, wxSize(200, 0)).x));
  top->SetSizeHints(this);
}

bool CInstrumentDlg::TransferDataToWindow() {
  m_pCurrentLimit->ChangeValue(wxString::FromAscii(ExactNumberText(m_settings.currentLimit).c_str()));
  m_pCurrentRange->SetSelection(std::max(0, CurrentRangeIndex(m_settings.currentRange)));
  m_pNplc->ChangeValue(wxString::FromAscii(ExactNumberText(m_settings.nplc).c_str()));
  int autoZero = 0;
  for (std::size_t i = 0; i < std::size(kAutoZeroChoices); ++i) {
    if (kAutoZeroChoices[i] == m_settings.autoZero) autoZero = static_cast<int>(i);
  }
  m_pAutoZero->SetSelection(autoZero);
  const int baud = BaudRateIndex(m_settings.baud);
  m_pBaudRate->SetSelection(baud >= 0 ? baud : BaudRateIndex(InstrumentSettings{}.baud));
  m_pLineFormat->SetSelection(std::max(0, LineFormatIndex(m_settings.lineFormat)));
  ShowLeastInterval();
  return true;
}

void CInstrumentDlg::ShowLeastInterval() {
  InstrumentSettings shown = m_settings;
  shown.autoZero = kAutoZeroChoices[std::max(0, m_pAutoZero->GetSelection())];
  shown.baud = kBaudRates[std::max(0, m_pBaudRate->GetSelection())];
  shown.lineFormat = LineFormatAt(m_pLineFormat->GetSelection());  // its bits per character
  const bool nplcValid = !CheckDoubleSetting(FieldText(m_pNplc), kNplcField, shown.nplc);
  m_pLeastInterval->SetLabel(nplcValid ? wxString::FromUTF8(LeastIntervalNote(shown))
                                       : wxString("Least time between samples: enter an NPLC from ") +
                                             FormatGeneral(kMinNplc) + " to " + FormatGeneral(kMaxNplc) + ".");
}

bool CInstrumentDlg::TransferDataFromWindow() {
  InstrumentSettings chosen;
  if (auto message = CheckDoubleSetting(FieldText(m_pCurrentLimit), kCurrentLimitField, chosen.currentLimit)) {
    return FailField(m_pCurrentLimit, *message);
  }
  if (auto message = CheckDoubleSetting(FieldText(m_pNplc), kNplcField, chosen.nplc)) {
    return FailField(m_pNplc, *message);
  }
  const int range = std::max(0, m_pCurrentRange->GetSelection());
  chosen.currentRange = range == 0 ? 0.0 : kCurrentRanges[range - 1];
  chosen.autoZero = kAutoZeroChoices[std::max(0, m_pAutoZero->GetSelection())];
  chosen.baud = kBaudRates[std::max(0, m_pBaudRate->GetSelection())];
  chosen.lineFormat = LineFormatAt(m_pLineFormat->GetSelection());
  m_settings = chosen;
  return true;
}

bool CInstrumentDlg::FailField(wxTextCtrl* field, const std::string& message) {
  ShowMessageBox(wxString::FromUTF8(message), "Ivra", wxOK | wxICON_EXCLAMATION, this);
  field->SetFocus();
  field->SelectAll();
  return false;
}
