// The window of an opened data file: its whole run drawn with min/max columns,
// zoomed by a drag, Home or Escape for the whole run again; File > Reload (F5)
// reads what a measurement has appended since, Export Plot saves the picture.
// A long read shows its progress and can be cancelled.
//
// It is a window of its own beside the main one and reads only the file, so a
// measurement that runs meanwhile (even one writing this very file) goes on
// untouched: nothing here reaches the document, the view, the run or the port.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <wx/frame.h>
#include <wx/progdlg.h>
#include <wx/stopwatch.h>
#include <wx/string.h>

#include "ui/opened_run.h"
#include "ui/run_plot_zoom.h"

class CLiveViewCanvas;
class DrawingSurface;
struct SurfaceRect;

// Progress of a long file read on the window's thread: nothing for the first
// half second, so an ordinary open never flashes a dialog; after that a
// progress dialog with Cancel, which also keeps the windows painted.
class ReadProgress {
 public:
  static constexpr long kQuietMs = 500;

  ReadProgress(wxWindow* parent, wxString message, long quietMs = kQuietMs);
  ~ReadProgress();

  // A DataFileProgress: false once the user has pressed Cancel.
  bool operator()(std::uint64_t done, std::uint64_t total);
  bool Shown() const { return m_dialog != nullptr; }

 private:
  wxWindow* m_pParent;
  wxString m_message;
  long m_quietMs;
  wxStopWatch m_clock;
  std::unique_ptr<wxProgressDialog> m_dialog;
};

enum class OpenRunOutcome {
  Opened,
  Missing,    // the file does not exist; nothing was said yet
  Cancelled,  // the user cancelled the read
  NotOpened,  // unreadable, or no data line in it; the user was told why
};

// Reads `path` (with a progress dialog once it takes over half a second) and
// shows it in a new window whose parent is `parent`.
OpenRunOutcome OpenRunWindow(wxWindow* parent, const std::string& path);

class COpenedRunFrame : public wxFrame {
 public:
  // The status bar's panes: messages (bad lines, reloads) and what is shown.
  static constexpr int kMessagePane = 0;
  static constexpr int kContentsPane = 1;

  COpenedRunFrame(wxWindow* parent, std::unique_ptr<OpenedRun> run);
  ~COpenedRunFrame() override;

  const OpenedRun& Run() const { return *m_run; }
  const RunPlotZoom& Zoom() const { return m_zoom; }
  wxWindow* Canvas() const;
  wxString PaneText(int pane) const;

  // File > Reload: reads what was appended since. False when the file could
  // not be read (the status bar says why; what was read stays).
  bool Reload();
  // Draws what the window shows at width x height into a PNG or SVG file;
  // empty on success, else a message for the user.
  std::string ExportPlot(const std::string& path, int width, int height);

 private:
  void Paint(DrawingSurface& surface, const SurfaceRect& client, bool rememberFrame);
  void ShowContents();
  void OnReload(wxCommandEvent& event);
  void OnExportPlot(wxCommandEvent& event);
  void OnClose(wxCommandEvent& event);
  void OnCanvasLeftDown(wxMouseEvent& event);
  void OnCanvasLeftUp(wxMouseEvent& event);
  void OnCanvasKey(wxKeyEvent& event);

  std::unique_ptr<OpenedRun> m_run;
  RunPlotZoom m_zoom;
  CLiveViewCanvas* m_pCanvas = nullptr;
};
