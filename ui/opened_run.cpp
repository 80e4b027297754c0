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

OpenedRun::OpenedRun(std::string path) : path_(std::move(path)), contents_(std::make_unique<Contents>()) {}

OpenedRun::~OpenedRun() = default;

const RunStore& OpenedRun::Store() const { return contents_->store; }

const DataFileTally& OpenedRun::Tally() const { return contents_->parser.Tally(); }

DataFileStatus OpenedRun::ReadMore(const DataFileProgress& progress) {
  startedAfresh_ = false;
  error_ = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path_.c_str(), "rb"));
  if (!file) {
    error_ = errno;
    return DataFileStatus::CannotOpen;
  }
  std::uint64_t size = 0;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long end = std::ftell(file.get());
    size = end > 0 ? static_cast<std::uint64_t>(end) : 0;
  }
  if (size < bytesRead_) {
    contents_ = std::make_unique<Contents>();
    bytesRead_ = 0;
    startedAfresh_ = true;
  }
  if (std::fseek(file.get(), static_cast<long>(bytesRead_), SEEK_SET) != 0) {
    error_ = errno;
    return DataFileStatus::ReadFailed;
  }
  const std::uint64_t total = size - bytesRead_;
  std::uint64_t done = 0;
  std::unique_ptr<char[]> block(new char[kBlockBytes]);
  for (;;) {
    const std::size_t got = std::fread(block.get(), 1, kBlockBytes, file.get());
    contents_->parser.Feed(block.get(), got);
    bytesRead_ += got;
    done += got;
    if (got < kBlockBytes) {
      if (!std::ferror(file.get())) return DataFileStatus::Read;
      error_ = errno;
      return DataFileStatus::ReadFailed;
    }
    if (progress && !progress(done, total)) return DataFileStatus::Cancelled;
  }
}
