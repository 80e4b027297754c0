// The document manager of the single-document program: the one document is
// called "Untitled", the recent-file list holds four entries, and New and Open
// re-initialise that document in place, so the frame, the view and a running
// measurement stay as they are.
#pragma once

#include <wx/docview.h>

class CIvraDocManager : public wxDocManager {
 public:
  // Initialise() must run after construction, so the four-entry history is made.
  CIvraDocManager() : wxDocManager(0, false) {}

  wxString MakeNewDocumentName() override;
  wxFileHistory* OnCreateFileHistory() override;

 private:
  void OnFileNewInPlace(wxCommandEvent& event);
  void OnFileOpenInPlace(wxCommandEvent& event);

  wxDECLARE_EVENT_TABLE();
};
