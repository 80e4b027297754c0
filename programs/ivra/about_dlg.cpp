#include "programs/ivra/about_dlg.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "programs/ivra/app_icon.h"

CAboutDlg::CAboutDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "About Ivra", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  SetFont(wxFont(wxFontInfo(8).Family(wxFONTFAMILY_SWISS).FaceName("MS Sans Serif")));
  // The icon keeps its own size; only its corner is in dialog units.
  new wxStaticBitmap(this, wxID_STATIC, wxBitmap(MakeAppIcon()), wxDLG_UNIT(this, wxPoint(11, 17)));
  auto* version = new wxStaticText(this, wxID_STATIC, wxEmptyString, wxDLG_UNIT(this, wxPoint(40, 10)),
                                   wxDLG_UNIT(this, wxSize(119, 8)), wxST_NO_AUTORESIZE);
  // Plain text: no mnemonic processing.
  version->SetLabelText("Ivra Version 1.0");
  auto* ok = new wxButton(this, wxID_OK, "OK", wxDLG_UNIT(this, wxPoint(178, 7)), wxDLG_UNIT(this, wxSize(32, 14)));
  ok->SetDefault();
  ok->SetFocus();
  SetClientSize(wxDLG_UNIT(this, wxSize(217, 55)));
  Centre();
}

CAboutDlg::~CAboutDlg() = default;
