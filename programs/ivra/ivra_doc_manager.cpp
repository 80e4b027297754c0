#include "programs/ivra/ivra_doc_manager.h"

#include <wx/filedlg.h>
#include <wx/filehistory.h>
#include <wx/filename.h>

#include "ui/command_ids.h"

namespace {
constexpr int kRecentFileCount = 4;
}

wxBEGIN_EVENT_TABLE(CIvraDocManager, wxDocManager)
  EVT_MENU(ID_FILE_NEW, CIvraDocManager::OnFileNewInPlace)
  EVT_MENU(ID_FILE_OPEN, CIvraDocManager::OnFileOpenInPlace)
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

void CIvraDocManager::OnFileOpenInPlace(wxCommandEvent&) {
  wxDocument* doc = GetCurrentDocument();
  if (doc == nullptr) return;
  wxWindow* parent = doc->GetDocumentWindow();
  const wxString path =
      wxFileSelector("Open", wxEmptyString, wxEmptyString, wxEmptyString, wxFileSelectorDefaultWildcardStr,
                     wxFD_OPEN | wxFD_FILE_MUST_EXIST, parent);
  if (path.empty()) return;
  // The document reads nothing from the file; it only takes its name.
  doc->SetTitle(wxFileName(path).GetFullName());
  doc->SetFilename(path, true);
  doc->Modify(false);
  AddFileToHistory(path);
  doc->UpdateAllViews();
}
