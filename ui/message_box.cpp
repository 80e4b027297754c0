#include "ui/message_box.h"

#include <wx/msgdlg.h>
// After msgdlg.h, which it needs declared first.
#include <wx/generic/msgdlgg.h>

int ShowMessageBox(const wxString& text, const wxString& caption, long style, wxWindow* parent) {
  // The generic box is an ordinary wx dialog: unlike the native GTK one it can
  // be ended from outside, so a stop signal never waits for the user to answer.
  // It shows no icon when no icon flag is given (wxICON_NONE itself has no art).
  wxGenericMessageDialog box(parent, text, caption, style & ~wxICON_NONE);
  return box.ShowModal();
}

bool AskMessageBox(const wxString& question, const wxString& caption, const wxString& acceptLabel, wxWindow* parent) {
  wxGenericMessageDialog box(parent, question, caption, wxOK | wxCANCEL | wxCANCEL_DEFAULT | wxICON_QUESTION);
  box.SetOKCancelLabels(acceptLabel, "Cancel");
  return box.ShowModal() == wxID_OK;
}
