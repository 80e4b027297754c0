// The record of a run, written beside the data file as <output>.run.json: when
// it started by the wall clock (the time of elapsed 0 in the data file), with
// which settings and port, how it ended, and what it lost on the way. The data
// file stays as it is; scripts that want more read this.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "run/run_snapshot.h"

struct PortLossTimes {
  double lostAt = 0.0;  // seconds since the start
  std::string lostAtClock;
  double backAt = -1.0;  // seconds since the start; -1 while the port is away
  std::string backAtClock;
};

// A run of readings in compliance: its first and last sample (numbered among
// the due samples from 1) and their times.
struct ComplianceStreak {
  int firstSample = 0;
  double firstAt = 0.0;  // seconds since the start, as in the data file
  std::string firstAtClock;
  int lastSample = 0;
  double lastAt = 0.0;
  std::string lastAtClock;
};

// A step of the bias schedule coming into force: the due sample (numbered
// from 1) whose voltage command began it, and when that command went.
struct StepChange {
  int sample = 0;
  double at = 0.0;  // seconds since the start
  std::string atClock;
  int step = 0;  // 0-based
  int pass = 0;  // 0-based
  double volts = 0.0;
};

// A run continued after its program was gone: when, at which elapsed
// seconds, and how many due samples fell into the time nothing ran.
struct ResumeEntry {
  std::string atClock;
  double at = 0.0;  // seconds since the first start
  int missed = 0;
  long long tornBytesCut = 0;  // the unfinished last line cut off before going on; 0 when none
};

struct RunRecord {
  std::string startClock;  // ISO 8601 with the time zone
  // Who runs it, to find it again after a crash: the process, the machine and
  // the machine's boot (empty where the system has no boot id).
  int pid = 0;
  std::string host;
  std::string bootId;
  std::string plannedEndClock;  // the start plus the measurement time
  std::vector<ResumeEntry> resumes;
  int tornLinesCut = 0;
  // Closed by --recover (or the window's Switch Output Off) after its program was gone.
  std::string recoveredClock;
  std::string portPath;
  std::vector<PortLossTimes> portLosses;
  std::vector<ComplianceStreak> complianceStreaks;
  std::vector<StepChange> stepChanges;
  double rampDownAt = -1.0;  // seconds since the start the way down began; -1 while it has not
  std::string rampDownAtClock;
  double rampDownFrom = 0.0;  // the set voltage it began from
  bool ended = false;
  RunEndReason endReason = RunEndReason::Completed;
  int signalNumber = 0;
  double endAt = 0.0;  // seconds since the start
  std::string endClock;
  int outputOffDelivered = -1;  // -1 until the stop has tried
  std::string writeError;       // why the record could not be written last, empty when it could
  // How the run ended when its program was gone; only with endInterrupted.
  bool endInterrupted = false;
};

// "SIGHUP", "SIGINT", "SIGTERM" (also for their Windows console events), else "signal N".
std::string SignalName(int signalNumber);

// <output path>.run.json
std::string RunRecordPath(const std::string& outputPath);

// `when` as local time in ISO 8601 with milliseconds and the zone's offset,
// e.g. "2026-12-08T22:14:03.250+01:00".
std::string WallClockText(std::chrono::system_clock::time_point when);

// The record as JSON text.
std::string RunRecordJson(const RunRecord& record, const MeasurementSettings& settings, const RunCounters& counters);

// Writes `text` to `path` through a temporary file and a rename, so that a
// reader finds the old record or the new one, never half of one. On failure
// returns false with the reason in `error`.
bool ReplaceFileAtomically(const std::string& path, const std::string& text, std::string& error);

// What it takes to continue a run whose program was gone, read back from its
// record and its data file.
struct ResumePlan {
  MeasurementSettings settings;
  RunRecord record;                             // as written last, to be carried on
  RunCounters counters;                         // as recorded; samplesTaken from the whole lines in the file
  std::chrono::system_clock::time_point start;  // elapsed 0, by the wall clock
  double lastLineElapsed = -1.0;                // the file's last whole line; -1 when it has none
  long long wholeLines = 0;
  long long tornBytes = 0;  // an unfinished last line, to be cut off
};

// The record's text back into a plan. The data file's lines are not read here
// (lastLineElapsed, wholeLines, tornBytes stay as they are; counters.samplesTaken
// holds the recorded lines written plus lost). False with the reason in
// `problem` when the text is no run record of this program.
bool ReadRunRecord(const std::string& text, ResumePlan& plan, std::string& problem);

// "2026-12-08T22:14:03.250+01:00" back into a time; false when it is not one.
bool ParseWallClock(const std::string& text, std::chrono::system_clock::time_point& when);

// The record's text closed for a run whose program was gone: running false,
// end reason "interrupted" at the last line's elapsed, when it was recovered
// and whether ":OUTP OFF" reached the instrument, the samples written as the
// file holds `writtenLines` (-1: as recorded); everything else as it was. A
// record that had ended keeps its end. Empty, with `problem`, when the text is
// no run record.
std::string InterruptedRecordJson(const std::string& text, double endAt, const std::string& endClock,
                                  const std::string& recoveredClock, bool outputOff, long long writtenLines,
                                  std::string& problem);
