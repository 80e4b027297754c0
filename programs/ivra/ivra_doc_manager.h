// The document manager of the single-document program: the one document is
// called "Untitled", New re-initialises it in place, so the frame, the view and
// a running measurement stay as they are. Open and the recent-file list (four
// entries) show a data file in a read-only window of its own, beside the
// measurement and never touching it.
#pragma once

#include <string>

#include <wx/docview.h>

class CIvraDocManager : public wxDocManager {
 public:
  // Initialise() must run after construction, so the four-entry history is made.
  CIvraDocManager() : wxDocManager(0, false) {}

  wxString MakeNewDocumentName() override;
  wxFileHistory* OnCreateFileHistory() override;

  // Opens the data file at `path` in a window of its own and adds it to the
  // recent files. False when no window was opened (the user was told why, or
  // cancelled the read).
  bool OpenRunFile(const std::string& path);

 private:
  void OnFileNewInPlace(wxCommandEvent& event);
  void OnFileOpenRun(wxCommandEvent& event);
  void OnRecentFile(wxCommandEvent& event);

  wxDECLARE_EVENT_TABLE();
};
