// Starts the real application object (frame, document, view) and runs the
// tests against it; the tests pump its events themselves.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/window.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "programs/ivra/ivra_app.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // A profile of our own, so the remembered port of one run (or of the user)
  // never preselects a port in another.
  char home[] = "/tmp/ivra-gui-home-XXXXXX";
  // The state folder too: no run of the user's is offered, none of ours listed among theirs.
  if (mkdtemp(home) == nullptr || setenv("HOME", home, 1) != 0 ||
      setenv("XDG_STATE_HOME", (std::string(home) + "/state").c_str(), 1) != 0) {
    std::fprintf(stderr, "cannot make a private home directory\n");
    return 1;
  }
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
  std::filesystem::remove_all(home);
  return result;
}
