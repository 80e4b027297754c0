// Starts the real application object (frame, document, view) and runs the
// tests against it; the tests pump its events themselves.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/window.h>

#include <cstdio>

#include "app/ivra_app.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  wxApp::SetInstance(new CIvraApp);
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  if (!wxEntryStart(wxArgc, wxArgv)) {
    std::fprintf(stderr, "cannot initialise wxWidgets (no display?)\n");
    return 1;
  }
  if (!wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "the application did not start\n");
    wxEntryCleanup();
    return 1;
  }
  const int result = RUN_ALL_TESTS();
  if (wxWindow* frame = wxTheApp->GetTopWindow()) {
    frame->Close(true);
    wxTheApp->ProcessIdle();
  }
  wxTheApp->OnExit();
  wxEntryCleanup();
  return result;
}
