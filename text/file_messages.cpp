#include "text/file_messages.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "text/printable_text.h"

namespace {

std::string FolderOf(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

std::string Reason(const std::string& path, const FileCreateError& error) {
  switch (error.problem) {
    case FileCreateProblem::EmptyName: return "No file name was given. Enter the name of the data file, e.g. run1.dat.";
    case FileCreateProblem::IsDirectory:
      return "This is a folder, not a file. Add a file name to it, e.g. " +
             PrintableText((std::filesystem::path(path) / "run1.dat").string()) + ".";
    case FileCreateProblem::NoSuchFolder:
      return "The folder " + PrintableText(FolderOf(path)) +
             " does not exist. Create it first, or choose a file in a folder that exists.";
    case FileCreateProblem::PermissionDenied:
      return "You are not allowed to write there. Choose a file in a folder of your own, such as your home "
             "folder, or ask the computer's administrator for access.";
    case FileCreateProblem::ReadOnlyFileSystem:
      return "The drive it is on is read-only. Choose a file on another drive, or make this one writable.";
    case FileCreateProblem::InUse:
      return "A running measurement is writing to this file. Wait until it has ended, or choose another file.";
    case FileCreateProblem::Other:
    case FileCreateProblem::None: break;
  }
  std::string text = "The system could not create it";
  if (error.systemError != 0) text += std::string(" (") + std::strerror(error.systemError) + ")";
  return text + ". Check the path, or choose another file.";
}

}  // namespace

std::string FileCreateFailureMessage(const std::string& path, const FileCreateError& error) {
  return "Can't create file : " + PrintableText(path) + "\n" + Reason(path, error);
}

std::string HoldsLinesText(const std::string& path, long long lines) {
  return PrintableText(path) + " already holds " + std::to_string(lines) + (lines == 1 ? " line" : " lines");
}

std::string ReplaceQuestion(const std::string& path, long long lines) {
  return HoldsLinesText(path, lines) + ". Replace it?";
}
