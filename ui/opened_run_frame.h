// The window of an opened data file: its whole run drawn with min/max columns,
// zoomed by a drag, Home or Escape for the whole run again; File > Reload (F5)
// reads what a measurement has appended since, Export Plot saves the picture.
//
// It is a window of its own beside the main one and reads only the file, so a
// measurement that runs meanwhile (even one writing this very file) goes on
// untouched: nothing here reaches the document, the view, the run or the port.
#pragma once

#include <memory>
#include <string>

#include <wx/frame.h>

#include "ui/opened_run.h"
#include "ui/run_plot_zoom.h"

class CLiveViewCanvas;
class DrawingSurface;
struct SurfaceRect;

enum class OpenRunOutcome {
  Opened,
  Missing,     // the file does not exist; nothing was said yet
  Cancelled,   // the user cancelled the read
  NotOpened,   // unreadable, or no data line in it; the user was told why
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

  const OpenedRun& Run() const { return *run_; }
  const RunPlotZoom& Zoom() const { return zoom_; }
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

  std::unique_ptr<OpenedRun> run_;
  RunPlotZoom zoom_;
  CLiveViewCanvas* canvas_ = nullptr;
};
