// A data file opened for looking at: the current of every data line in a
// one-channel RunStore, with the bad-line tally. The file is only ever read.
//
// A file that a running measurement is still writing is read up to its last
// complete line; ReadMore() later takes only what was appended since, so a
// reload of a day-long file costs the new lines, not the whole file. A file
// that has become shorter than what was read (a new measurement emptied it) is
// read afresh from its start.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "datafile/data_file_reader.h"
#include "plot/run_store.h"

class OpenedRun {
 public:
  explicit OpenedRun(std::string path);
  ~OpenedRun();
  OpenedRun(const OpenedRun&) = delete;
  OpenedRun& operator=(const OpenedRun&) = delete;

  // Reads the bytes beyond the last read. `progress` sees the bytes of this
  // read done and its total; returning false stops it (Cancelled), and a later
  // call goes on from where it stopped.
  DataFileStatus ReadMore(const DataFileProgress& progress = nullptr);

  const std::string& Path() const { return m_path; }
  const RunStore& Store() const;
  const DataFileTally& Tally() const;
  // Whether the last ReadMore() started again from the file's beginning.
  bool StartedAfresh() const { return m_startedAfresh; }
  // The system's error number of the last read that could not open or read.
  int Error() const { return m_error; }

 private:
  struct Contents;
  std::string m_path;
  std::unique_ptr<Contents> m_contents;
  std::uint64_t m_bytesRead = 0;
  bool m_startedAfresh = false;
  int m_error = 0;
};
