#include "programs/ivra/ivra_doc_manager.h"

#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/filehistory.h>

#include "ui/command_ids.h"
#include "ui/message_box.h"
#include "ui/opened_run_frame.h"

namespace {
constexpr int kRecentFileCount = 4;

void TellMissing(const wxString& path, const wxString& more) {
  ShowMessageBox(path + " no longer exists." + more, wxTheApp->GetAppDisplayName(), wxOK | wxICON_EXCLAMATION,
                 wxTheApp->GetTopWindow());
}
}  // namespace

// Ahead of wxDocManager's own Open and recent-file handlers, which would put
// the file into the one document and so end the measurement's view.
wxBEGIN_EVENT_TABLE(CIvraDocManager, wxDocManager)
  EVT_MENU(ID_FILE_NEW, CIvraDocManager::OnFileNewInPlace)
  EVT_MENU(ID_FILE_OPEN, CIvraDocManager::OnFileOpenRun)
  EVT_MENU_RANGE(wxID_FILE1, wxID_FILE9, CIvraDocManager::OnRecentFile)
wxEND_EVENT_TABLE()

wxString CIvraDocManager::MakeNewDocumentName() { return "Untitled"; }

wxFileHistory* CIvraDocManager::OnCreateFileHistory() { return new wxFileHistory(kRecentFileCount); }

void CIvraDocManager::OnFileNewInPlace(wxCommandEvent&) {
  wxDocument* doc = GetCurrentDocument();
  if (doc == nullptr) {
    CreateNewDocument();
    return;
  }
  if (doc->OnNewDocument()) doc->UpdateAllViews();
}

bool CIvraDocManager::OpenRunFile(const std::string& path) {
  switch (OpenRunWindow(wxTheApp->GetTopWindow(), path)) {
    case OpenRunOutcome::Opened: AddFileToHistory(wxString::FromUTF8(path.c_str())); return true;
    case OpenRunOutcome::Missing: TellMissing(wxString::FromUTF8(path.c_str()), wxEmptyString); return false;
    case OpenRunOutcome::Cancelled:
    case OpenRunOutcome::NotOpened: return false;
  }
  return false;
}

void CIvraDocManager::OnFileOpenRun(wxCommandEvent&) {
  const wxString path =
      wxFileSelector("Open", wxEmptyString, wxEmptyString, wxEmptyString, "Ivra data files (*.dat)|*.dat|All files|*",
                     wxFD_OPEN | wxFD_FILE_MUST_EXIST, wxTheApp->GetTopWindow());
  if (!path.empty()) OpenRunFile(path.utf8_string());
}

void CIvraDocManager::OnRecentFile(wxCommandEvent& event) {
  const int n = event.GetId() - wxID_FILE1;
  wxFileHistory* history = GetFileHistory();
  if (history == nullptr || n < 0 || n >= static_cast<int>(history->GetCount())) return;
  const wxString path = history->GetHistoryFile(n);
  if (!wxFileExists(path)) {
    history->RemoveFileFromHistory(n);
    TellMissing(path, " It has been taken off the recent files.");
    return;
  }
  OpenRunFile(path.utf8_string());
}
