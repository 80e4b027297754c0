#include "recovery_ui/unfinished_run_dlg.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

namespace {
constexpr int kTextWidth = 460;  // pixels before the offer's text wraps
}

CUnfinishedRunDlg::CUnfinishedRunDlg(wxWindow* pParent, const std::string& text, const std::string& whyNoContinue) {
  Create(pParent, wxID_ANY, "Unfinished Run", wxDefaultPosition, wxDefaultSize,
         wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
  auto* top = new wxBoxSizer(wxVERTICAL);
  auto* body = new wxBoxSizer(wxHORIZONTAL);
  body->Add(new wxStaticBitmap(this, wxID_ANY, wxArtProvider::GetBitmap(wxART_WARNING, wxART_MESSAGE_BOX)), 0, wxALL,
            10);
  auto* words = new wxStaticText(this, wxID_STATIC, wxString::FromUTF8(text));
  words->Wrap(kTextWidth);
  body->Add(words, 1, wxALL | wxEXPAND, 10);
  top->Add(body, 1, wxEXPAND);

  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  auto* off = new wxButton(this, IDC_SWITCH_OUTPUT_OFF, "Switch Output Off");
  auto* resume = new wxButton(this, IDC_CONTINUE_MEASURING, "Continue Measuring");
  auto* later = new wxButton(this, IDC_LATER, "Later");
  buttons->Add(off, 0, wxRIGHT, 5);
  buttons->Add(resume, 0, wxRIGHT, 5);
  buttons->Add(later);
  top->Add(buttons, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, 10);
  if (!whyNoContinue.empty()) {
    resume->Disable();
    auto* note = new wxStaticText(this, wxID_STATIC, wxString::FromUTF8(whyNoContinue));
    note->Wrap(kTextWidth);
    top->Add(note, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, 10);
  }
  off->SetDefault();
  off->SetFocus();
  SetEscapeId(IDC_LATER);
  for (int id : {IDC_SWITCH_OUTPUT_OFF, IDC_CONTINUE_MEASURING, IDC_LATER}) {
    Bind(wxEVT_BUTTON, &CUnfinishedRunDlg::OnChoice, this, id);
  }
  Bind(wxEVT_CLOSE_WINDOW, &CUnfinishedRunDlg::OnClose, this);
  SetSizerAndFit(top);
  Centre();
}

UnfinishedRunChoice CUnfinishedRunDlg::Ask() {
  switch (ShowModal()) {
    case IDC_SWITCH_OUTPUT_OFF: return UnfinishedRunChoice::SwitchOutputOff;
    case IDC_CONTINUE_MEASURING: return UnfinishedRunChoice::ContinueMeasuring;
    case IDC_LATER: return UnfinishedRunChoice::Later;
    default: return UnfinishedRunChoice::Cancelled;
  }
}

void CUnfinishedRunDlg::OnChoice(wxCommandEvent& event) {
  // A greyed button's click that arrives anyway (a keyboard shortcut) is dropped.
  if (auto* button = wxDynamicCast(FindWindow(event.GetId()), wxButton); button != nullptr && !button->IsEnabled()) {
    return;
  }
  EndModal(event.GetId());
}

void CUnfinishedRunDlg::OnClose(wxCloseEvent&) { EndModal(IDC_LATER); }
