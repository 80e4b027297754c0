// CIvraDoc: the one document. It stores and reads nothing; the measurement
// state lives in the view and in process-wide records.
#pragma once

#include <wx/docview.h>

class CIvraDoc : public wxDocument {
 public:
  CIvraDoc() = default;
  ~CIvraDoc() override;

  bool OnNewDocument() override;

 private:
  wxDECLARE_DYNAMIC_CLASS(CIvraDoc);
};
