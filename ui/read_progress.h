// Progress of a long file read on the window's thread: nothing for the first
// half second, so an ordinary open never flashes a dialog; after that a
// progress dialog with Cancel, which also keeps the windows painted.
#pragma once

#include <cstdint>
#include <memory>

#include <wx/progdlg.h>
#include <wx/stopwatch.h>
#include <wx/string.h>

class wxWindow;

class ReadProgress {
 public:
  static constexpr long kQuietMs = 500;

  ReadProgress(wxWindow* parent, wxString message, long quietMs = kQuietMs);
  ~ReadProgress();

  // A DataFileProgress: false once the user has pressed Cancel.
  bool operator()(std::uint64_t done, std::uint64_t total);
  bool Shown() const { return dialog_ != nullptr; }

 private:
  wxWindow* parent_;
  wxString message_;
  long quietMs_;
  wxStopWatch clock_;
  std::unique_ptr<wxProgressDialog> dialog_;
};
