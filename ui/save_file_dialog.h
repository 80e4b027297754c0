// The platform's save-file dialog, as the Setup dialog's Browse... button
// opens it for the output file.
#pragma once

#include <string>

class wxWindow;

// Starts in `folder` with `name` filled in, offering "*.dat" and all files.
// Returns the chosen path, or an empty text when the user cancelled.
std::string AskSaveFilePath(wxWindow* parent, const std::string& folder, const std::string& name);
