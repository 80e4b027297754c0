// Export Plot's questions: the picture file (PNG or SVG), then its size in
// pixels, preset to the window's, so that a picture for a report or a poster
// need not be drawn at whatever size the window happens to have.
#pragma once

#include <string>

#include <wx/dialog.h>
#include <wx/gdicmn.h>

class wxSpinCtrl;

// Sizes a picture may have; ExportPicture holds to the same bounds.
constexpr int kSmallestPicture = 16;
constexpr int kLargestPicture = 10000;

class CExportSizeDlg : public wxDialog {
 public:
  CExportSizeDlg(wxWindow* parent, const wxSize& preset);
  wxSize PictureSize() const;

 private:
  wxSpinCtrl* m_pWidth;
  wxSpinCtrl* m_pHeight;
};

struct ExportChoice {
  std::string path;  // ends in .png or .svg
  wxSize size;
};

// Asks for the file and then the size. False when either was cancelled.
bool ChooseExport(wxWindow* parent, const wxSize& windowSize, ExportChoice& choice);
