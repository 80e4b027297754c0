#include "programs/ivra/ivra_doc.h"

wxIMPLEMENT_DYNAMIC_CLASS(CIvraDoc, wxDocument);

CIvraDoc::~CIvraDoc() = default;

bool CIvraDoc::OnNewDocument() { return wxDocument::OnNewDocument(); }
