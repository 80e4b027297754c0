// CAboutDlg: "About Ivra" with the application icon, the version line and OK.
#pragma once

#include <wx/dialog.h>

class CAboutDlg : public wxDialog {
 public:
  explicit CAboutDlg(wxWindow* parent = nullptr);
  ~CAboutDlg() override;
};
