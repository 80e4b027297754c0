#include "ui/export_size_dlg.h"

#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>

#include <algorithm>

namespace {

wxSpinCtrl* SizeField(wxWindow* parent, int value) {
  return new wxSpinCtrl(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS,
                        kSmallestPicture, kLargestPicture, std::clamp(value, kSmallestPicture, kLargestPicture));
}

}  // namespace

CExportSizeDlg::CExportSizeDlg(wxWindow* parent, const wxSize& preset) : wxDialog(parent, wxID_ANY, "Picture Size") {
  m_pWidth = SizeField(this, preset.x);
  m_pHeight = SizeField(this, preset.y);
  auto* grid = new wxFlexGridSizer(2, wxSize(8, 8));
  grid->Add(new wxStaticText(this, wxID_ANY, "Width (pixels):"), 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(m_pWidth);
  grid->Add(new wxStaticText(this, wxID_ANY, "Height (pixels):"), 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(m_pHeight);
  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(new wxStaticText(this, wxID_ANY, "The window's size is preset; 16 to 10000 pixels each way."), 0, wxALL, 10);
  top->Add(grid, 0, wxLEFT | wxRIGHT, 10);
  top->Add(CreateButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 10);
  SetSizerAndFit(top);
  m_pWidth->SetFocus();
}

wxSize CExportSizeDlg::PictureSize() const {
  return wxSize(std::clamp(m_pWidth->GetValue(), kSmallestPicture, kLargestPicture),
                std::clamp(m_pHeight->GetValue(), kSmallestPicture, kLargestPicture));
}

bool ChooseExport(wxWindow* parent, const wxSize& windowSize, ExportChoice& choice) {
  wxFileDialog files(parent, "Export Plot", wxEmptyString, "plot.png",
                     "PNG picture (*.png)|*.png|SVG picture (*.svg)|*.svg", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (files.ShowModal() != wxID_OK) return false;
  std::string path = files.GetPath().utf8_string();
  const wxString extension = wxFileName(files.GetPath()).GetExt().Lower();
  if (extension != "png" && extension != "svg") path += files.GetFilterIndex() == 1 ? ".svg" : ".png";
  CExportSizeDlg size(parent, windowSize);
  if (size.ShowModal() != wxID_OK) return false;
  choice.path = path;
  choice.size = size.PictureSize();
  return true;
}
