#include "programs/ivra/modal_dialog_tracker.h"

#include <algorithm>

#include <wx/dialog.h>

void ModalDialogTracker::CancelOpenDialogs() {
  // A copy: ending a dialog may let its loop return and leave the list.
  const std::vector<wxDialog*> open = m_open;
  for (wxDialog* dialog : open) {
    if (dialog->IsModal()) dialog->EndModal(wxID_CANCEL);
  }
}

int ModalDialogTracker::Enter(wxDialog* dialog) {
  m_open.push_back(dialog);
  return wxID_NONE;
}

void ModalDialogTracker::Exit(wxDialog* dialog) {
  auto it = std::find(m_open.begin(), m_open.end(), dialog);
  if (it != m_open.end()) m_open.erase(it);
}
