// The texts a run's readers get: a reading as one JSON object or as one
// InfluxDB line-protocol point, and the run state as one JSON object.
#pragma once

#include <chrono>
#include <string>

#include "run/run_snapshot.h"

// One sample, as the data file logged it.
struct ReadingMessage {
  int sample = 0;               // 1 for the run's first reading
  double elapsedSeconds = 0.0;  // as the data file line has it (two decimals)
  std::string wallClock;        // ISO 8601 with the zone's offset
  long long epochNanoseconds = 0;
  double current = 0.0;        // amperes
  double voltage = 0.0;        // volts, as measured
  bool compliance = false;     // the instrument held the current at its limit
  bool hasSetVoltage = false;  // a run with steps or a ramp
  double setVoltage = 0.0;     // volts, as sent for the sample
};

// The latest reading of `snapshot`, taken at `when`.
ReadingMessage ReadingOf(const RunSnapshot& snapshot, std::chrono::system_clock::time_point when);

// {"sample":..,"elapsed":..,"time":"..","current":..,"voltage":..,"compliance":..}, and
// "set_voltage":.. with steps or a ramp
std::string ReadingJson(const ReadingMessage& reading);
// ivra,bench=NAME current=..,voltage=..,elapsed=..,sample=..i,compliance=.. <ns>, with
// set_voltage=.. after voltage with steps or a ramp
std::string ReadingLineProtocol(const ReadingMessage& reading, const std::string& bench);

// What the publisher adds to the run state.
struct PublishCounts {
  long long readingsPublished = 0;  // handed to the broker connection
  long long readingsDropped = 0;    // the queue was full, or the program ended first
};

// "running", "port lost", "completed", "stopped"; "failed" is the caller's.
std::string RunStateWord(const RunSnapshot& snapshot);

// The run state: state, bench, counters, settings, publishing counts.
std::string StatusJson(const RunSnapshot& snapshot, const std::string& state, const std::string& bench,
                       const PublishCounts& counts);
