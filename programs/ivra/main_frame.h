// CMainFrame: the main window with its menu bar, accelerators and the status
// bar of five panes (message, run state, CAP, NUM, SCRL). It has no toolbar.
// Closing it while a measurement runs asks first, unless the close cannot be
// refused (a stop signal, the end of the desktop session).
#pragma once

#include <memory>

#include <wx/docview.h>

class KeyboardWatch;

class CMainFrame : public wxDocParentFrame {
 public:
  CMainFrame(wxDocManager* manager, const wxString& title);
  ~CMainFrame() override;

  // Builds the menu bar, the accelerators and the status bar. False when the
  // status bar cannot be made; the program then ends.
  bool CreateBars();

  // The text of status pane 0..4.
  wxString PaneText(int pane) const;

 private:
  void OnAppExit(wxCommandEvent& event);
  void OnCloseWindow(wxCloseEvent& event);
  void OnViewStatusBar(wxCommandEvent& event);
  void OnUpdateViewStatusBar(wxUpdateUIEvent& event);
  void OnViewToolbar(wxCommandEvent& event);
  void OnUpdateViewToolbar(wxUpdateUIEvent& event);
  void OnIdle(wxIdleEvent& event);

  void CreateMenuBar();
  void CreateAccelerators();
  bool CreateStatusBarPanes();
  void UpdateIndicators();

  std::unique_ptr<KeyboardWatch> m_keyboardWatch;

  wxDECLARE_EVENT_TABLE();
};
