// The desktop program. Help, the version and argument errors are answered on
// the console before any window system work; the rest is CIvraApp's.
#include <string>
#include <vector>

#include "programs/ivra/command_line.h"
#include "programs/ivra/ivra_app.h"

wxIMPLEMENT_APP_NO_MAIN(CIvraApp);

int main(int argc, char** argv) {
  const IvraCommandLine line = ParseIvraCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (const auto status = AnswerOnTheConsole(line, IVRA_VERSION)) return *status;
  return wxEntry(argc, argv);
}
