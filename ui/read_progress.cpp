#include "ui/read_progress.h"

#include <wx/app.h>

#include <algorithm>
#include <utility>

namespace {
constexpr int kRange = 1000;
}

ReadProgress::ReadProgress(wxWindow* parent, wxString message, long quietMs)
    : parent_(parent), message_(std::move(message)), quietMs_(quietMs) {}

ReadProgress::~ReadProgress() = default;

bool ReadProgress::operator()(std::uint64_t done, std::uint64_t total) {
  if (!dialog_) {
    if (clock_.Time() < quietMs_) return true;
    dialog_ = std::make_unique<wxProgressDialog>(wxTheApp->GetAppDisplayName(), message_, kRange, parent_,
                                                 wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_ELAPSED_TIME |
                                                     wxPD_REMAINING_TIME | wxPD_AUTO_HIDE);
  }
  const int value = total > 0 ? static_cast<int>(std::min<std::uint64_t>(done * kRange / total, kRange - 1)) : 0;
  return dialog_->Update(value);
}
