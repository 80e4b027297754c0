#include "ui/message_box.h"

#include <wx/msgdlg.h>

int ShowMessageBox(const wxString& text, const wxString& caption, long style, wxWindow* parent) {
  wxMessageDialog box(parent, text, caption, style);
  return box.ShowModal();
}
