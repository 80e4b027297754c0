#include "ui/save_file_dialog.h"

#include <wx/filedlg.h>

std::string AskSaveFilePath(wxWindow* parent, const std::string& folder, const std::string& name) {
  // No overwrite prompt here: OK in Setup asks, with the number of lines at stake.
  wxFileDialog dialog(parent, "Output file", wxString::FromUTF8(folder), wxString::FromUTF8(name),
                      "Data files (*.dat)|*.dat|All files (*)|*", wxFD_SAVE);
  if (dialog.ShowModal() != wxID_OK) return {};
  return dialog.GetPath().utf8_string();
}
