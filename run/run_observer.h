// What a run tells the program that drives it, as facts, never as sentences:
// the words for people are made above this library (text/run_front_end.h), so
// that measuring needs none of them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "datafile/file_create_error.h"
#include "instrument/instrument_setup.h"
#include "run/run_snapshot.h"
#include "serial/port_discovery.h"
#include "serial/serial_link.h"

using SnapshotPtr = std::shared_ptr<const RunSnapshot>;

// Why a Start failed. Only the fields of its kind are set.
struct StartFailure {
  enum class Kind { FileNotCreated, PortNotOpened, SettingsNotTaken, IntervalTooShort };
  Kind kind = Kind::FileNotCreated;
  std::string outputPath;
  FileCreateError fileError;                  // FileNotCreated
  PortOpenError portError;                    // PortNotOpened
  std::vector<SerialPortInfo> detectedPorts;  // PortNotOpened on a port that does not exist
  ErrorQueryReply settingsReply;              // SettingsNotTaken
  std::string portPath;                       // SettingsNotTaken
  int baud = 0;                               // SettingsNotTaken
  LineFormat lineFormat;                      // SettingsNotTaken
  int lineHz = 0;                             // IntervalTooShort: the instrument's line frequency
  int intervalMs = 0;                         // IntervalTooShort
  InstrumentSettings instrument;              // IntervalTooShort
  bool inDialog = true;                       // IntervalTooShort: the front end has dialogs, not options
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // The Start failed; the user must read why. Shown modally by the desktop program.
  virtual void ShowStartFailure(const StartFailure& failure) = 0;
  // The display is out of date (new sample, Start, Stop): read Snapshot() anew.
  virtual void Redraw() = 0;
  // One trouble, with the run as it stood right after it.
  virtual void ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) = 0;
  // The stop could not deliver ":OUTP OFF" to the instrument on `portPath`: its
  // output may still be on. The user must see it even when the program is
  // about to end.
  virtual void ReportOutputMayBeOn(const std::string& portPath) = 0;
};
