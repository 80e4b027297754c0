#include "ui/opened_run.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

// Large reads keep a 200 MB file at a few dozen calls and progress updates.
constexpr std::size_t kBlockBytes = std::size_t{4} << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

// The store and the parser that fills it, replaced together when the file is
// read afresh: the parser keeps the line numbers and a line cut by the end of
// the last read.
struct OpenedRun::Contents {
  RunStore store{1};
  AppendingSink<RunStore> sink{store};
  DataLineParser parser{sink};
};

OpenedRun::OpenedRun(std::string path) : m_path(std::move(path)), m_contents(std::make_unique<Contents>()) {}

OpenedRun::~OpenedRun() = default;

const RunStore& OpenedRun::Store() const { return m_contents->store; }

const DataFileTally& OpenedRun::Tally() const { return m_contents->parser.Tally(); }

DataFileStatus OpenedRun::ReadMore(const DataFileProgress& progress) {
  m_startedAfresh = false;
  m_error = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(m_path.c_str(), "rb"));
  if (!file) {
    m_error = errno;
    return DataFileStatus::CannotOpen;
  }
  std::uint64_t size = 0;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long end = std::ftell(file.get());
    size = end > 0 ? static_cast<std::uint64_t>(end) : 0;
  }
  if (size < m_bytesRead) {
    m_contents = std::make_unique<Contents>();
    m_bytesRead = 0;
    m_startedAfresh = true;
  }
  if (std::fseek(file.get(), static_cast<long>(m_bytesRead), SEEK_SET) != 0) {
    m_error = errno;
    return DataFileStatus::ReadFailed;
  }
  const std::uint64_t total = size - m_bytesRead;
  std::uint64_t done = 0;
  std::unique_ptr<char[]> block(new char[kBlockBytes]);
  for (;;) {
    const std::size_t got = std::fread(block.get(), 1, kBlockBytes, file.get());
    m_contents->parser.Feed(block.get(), got);
    m_bytesRead += got;
    done += got;
    if (got < kBlockBytes) {
      if (!std::ferror(file.get())) return DataFileStatus::Read;
      m_error = errno;
      return DataFileStatus::ReadFailed;
    }
    if (progress && !progress(done, total)) return DataFileStatus::Cancelled;
  }
}
