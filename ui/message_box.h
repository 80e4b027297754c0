// The program's modal message boxes.
#pragma once

#include <wx/string.h>

class wxWindow;

// Shows a modal message box and returns its result (wxID_OK etc.).
int ShowMessageBox(const wxString& text, const wxString& caption, long style, wxWindow* parent = nullptr);
