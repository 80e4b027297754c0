// The program's modal message boxes.
#pragma once

#include <wx/string.h>

class wxWindow;

// Shows a modal message box and returns its result (wxID_OK etc.).
int ShowMessageBox(const wxString& text, const wxString& caption, long style, wxWindow* parent = nullptr);

// Asks `question` with two buttons, `acceptLabel` and Cancel; Cancel is the
// default, so a hurried Enter changes nothing. True when `acceptLabel` was chosen.
bool AskMessageBox(const wxString& question, const wxString& caption, const wxString& acceptLabel,
                   wxWindow* parent = nullptr);
