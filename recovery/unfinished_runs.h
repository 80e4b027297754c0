// Runs whose program went away while they were going: the list of running
// runs in the user's state folder, the unfinished ones among them, switching
// the instrument's output off for one, and what it takes to resume one.
//
// A run is unfinished when its record says running and nobody holds its
// output file's lock. A run whose lock is held is alive: nothing here sends
// to its instrument or writes its files.
#pragma once

#include <string>
#include <vector>

#include "run/run_record.h"
#include "serial/serial_link.h"

struct UnfinishedRun {
  std::string recordPath;
  std::string outputPath;
  std::string connection;        // the port or address the run opened
  std::string startClock;        // the record's start, ISO 8601
  long long samplesWritten = 0;  // whole data lines in the file now
  std::string lastLineClock;     // when the last whole line was taken, by the wall clock; empty without one
  double lastLineElapsed = -1.0;
  int pid = 0;  // the process that ran it
  std::string host;
  std::string plannedEndClock;
  bool plannedEndPassed = false;  // resuming it would take no sample
};

// $XDG_STATE_HOME/ivra/runs (~/.local/state/ivra/runs), %LOCALAPPDATA%\Ivra\runs on Windows.
std::string RunStateFolder();

// The state folder's entry for a run going on with its record at `recordPath`:
// made when the run starts, removed when it ends. MeasurementRun's listing
// listener, as it is: run.SetListingListener(ListRunningRun).
void ListRunningRun(const std::string& recordPath, bool running);

// The unfinished runs the state folder lists, oldest first. Entries whose run
// ended or whose record is gone are removed; live runs are left out.
std::vector<UnfinishedRun> FindUnfinishedRuns();

// What a path given on a command line (the output file or its record) holds.
enum class RunLookup {
  Unfinished,  // `run` says which
  Alive,       // its lock is held: `pid` runs it
  Ended,       // the record says it ended; `outputMayBeOn` when its output was not confirmed off
  NoRecord,    // neither the path nor <path>.run.json is there
  NotARun,     // the record is not a run record of this program; `problem` says why
};
struct RunLookupResult {
  RunLookup lookup = RunLookup::NoRecord;
  UnfinishedRun run;
  int pid = 0;
  bool outputMayBeOn = false;
  std::string recordPath;
  std::string problem;
};
RunLookupResult LookUpRun(const std::string& path);

struct RecoverResult {
  bool alive = false;       // its lock was held after all: nothing was sent
  bool outputOff = false;   // ":OUTP OFF" reached the recorded connection
  bool portOpened = false;  // the connection opened; portError says why not
  PortOpenError portError;
  std::string recordError;  // why the record could not be closed, empty when it was
};
// Opens the recorded connection with the recorded line settings, sends
// ":OUTP OFF" and closes the record: running false, end reason "interrupted",
// when it was recovered. The state folder's entry goes. Sends nothing to a run
// that is alive (checked again here).
RecoverResult RecoverUnfinishedRun(const UnfinishedRun& run);

// The plan MeasurementRun::Resume takes: the record read back, the data file's
// whole lines counted and its last elapsed found, an unfinished last line
// measured. False, with `problem` in plain words, when the run cannot be resumed.
bool ReadResumePlan(const UnfinishedRun& run, ResumePlan& plan, std::string& problem);
