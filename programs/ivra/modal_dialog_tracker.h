// Keeps track of the modal dialogs that are open, so that a close requested
// from outside (a signal) can end them and wait until their loops are gone
// before the main window, and with it the view that opened them, goes.
#pragma once

#include <vector>

#include <wx/modalhook.h>

class ModalDialogTracker : public wxModalDialogHook {
 public:
  int OpenCount() const { return static_cast<int>(m_open.size()); }
  // Ends every open dialog with Cancel, message boxes included.
  void CancelOpenDialogs();

 protected:
  int Enter(wxDialog* dialog) override;
  void Exit(wxDialog* dialog) override;

 private:
  std::vector<wxDialog*> m_open;
};
