// The one document template: it makes CIvraDoc, and the view through a
// function of the program's, so the view is born with the run and ports it
// works with instead of looking for them.
#pragma once

#include <functional>
#include <utility>

#include <wx/docview.h>

class CIvraDocTemplate : public wxDocTemplate {
 public:
  CIvraDocTemplate(wxDocManager* manager, std::function<wxView*()> makeView);

 protected:
  wxView* DoCreateView() override { return m_makeView(); }

 private:
  std::function<wxView*()> m_makeView;
};
