// The desktop program. Help and argument errors are answered before any
// window system work; everything else starts in CIvraApp::OnInit.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/ivra_app.h"

wxIMPLEMENT_APP_NO_MAIN(CIvraApp);

int main(int argc, char** argv) {
  const IvraCommandLine line = ParseIvraCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (line.help) {
    std::fputs(IvraUsage().c_str(), stdout);
    return 0;
  }
  if (line.version) {
    std::puts("ivra " IVRA_VERSION);
    return 0;
  }
  if (!line.error.empty()) {
    std::fprintf(stderr, "ivra: %s\n%s", line.error.c_str(), IvraUsage().c_str());
    return 2;
  }
  return wxEntry(argc, argv);
}
