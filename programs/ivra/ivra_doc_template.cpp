#include "programs/ivra/ivra_doc_template.h"

#include "programs/ivra/ivra_doc.h"
#include "ui/ivra_view.h"

CIvraDocTemplate::CIvraDocTemplate(wxDocManager* manager, std::function<wxView*()> makeView)
    : wxDocTemplate(manager, "Ivra Document", wxEmptyString, wxEmptyString, wxEmptyString, "Ivra.Document", "Ivra View",
                    wxCLASSINFO(CIvraDoc), wxCLASSINFO(CIvraView)),
      m_makeView(std::move(makeView)) {}
