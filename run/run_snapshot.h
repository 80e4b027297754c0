// What a measurement run is and has done, as plain values: the settings, the
// counters, why a sample was missed, how a run ended, and the immutable
// snapshot that a run publishes after every step for its front ends to read.
#pragma once

#include <string>

#include "instrument/instrument_settings.h"
#include "run/bias_schedule.h"
#include "run/sample_history.h"

struct MeasurementSettings {
  int portNumber = 1;  // COM1..COM4, as chosen; 0 never comes from a front end
  // The device to open. A front end fills it (through its port table for
  // COM1..COM4) before Start; a reopen of a lost port goes to the same device.
  std::string portPath;
  // A Prologix GPIB controller in front of the instrument, at this GPIB
  // address (0..30), on whatever portPath names; -1: the instrument's RS-232.
  int gpibAddress = -1;
  int sampleInterval = 1;  // whole seconds (ticks) between samples, 1..1000; 0: see sampleIntervalMs
  // An interval that is no whole number of seconds, in milliseconds (20..999999),
  // used when sampleInterval is 0: samples then go on a grid of their own.
  int sampleIntervalMs = 0;
  int measurementTime = 1000;  // seconds (ticks), 10..10000000
  double outputVoltage = 0.0;  // volts, -10..10
  std::string outputPath = "x.dat";
  InstrumentSettings instrument;  // at the 2400's reset defaults unless a bench changes them
  // Steps and a ramp; with steps, measurementTime is their total rounded up to
  // a second. Without either the run sends outputVoltage as it always did.
  BiasSchedule bias;
};

// Whether samples go on a grid of their own on the steady clock (an interval
// that is no whole number of seconds) rather than on the one-second tick.
inline bool SamplesOnGrid(const MeasurementSettings& s) { return s.sampleInterval <= 0 && s.sampleIntervalMs > 0; }
// The interval in milliseconds, whichever way it is given.
inline int IntervalMs(const MeasurementSettings& s) {
  return SamplesOnGrid(s) ? s.sampleIntervalMs : s.sampleInterval * 1000;
}

// Why a due sample gave no reading.
enum class MissReason {
  NoReply,      // nothing arrived
  NoReading,    // something arrived, but not a voltage and a current
  Incomplete,   // the reply broke off inside or right after the current
  Overflow,     // the instrument's overflow marker (9.9e37 and up) or not a finite number
  PortLost,     // the serial port was gone
  Garbled,      // not the elements asked for, a byte no number holds, or a value the instrument cannot send
  LineError,    // the line marked a byte damaged (parity or framing error)
  Late,         // on a grid below a second: the slot passed while the previous sample was still being read
  Interrupted,  // fell due while the run's program was gone, before the run was resumed
};
constexpr int kMissReasonCount = 9;

// What a front end is told about, besides new samples.
enum class SampleTrouble {
  Missed,            // a due sample without a reading; counters.lastMissReason says why
  Lost,              // a reading stored and drawn whose line is not in the file
  StaleReply,        // input waiting before a sample's first command was discarded
  PortLost,          // the serial port went away (its device hung up or vanished)
  PortBack,          // the port was opened again; sampling goes on
  InstrumentSilent,  // no reply kSilentSampleLimit samples in a row (once per streak)
  RecordNotWritten,  // the run record could not be written (once, until it can be again)
  InCompliance,      // a reading in compliance after one that was not (once per streak)
};

constexpr int kSilentSampleLimit = 3;

// Counts of the running (or last) measurement; reset by every successful Start.
struct RunCounters {
  int samplesTaken = 0;   // samples with a reading (logged or lost)
  int missedSamples = 0;  // due samples without a reading: nothing stored
  int lostLines = 0;      // readings stored and drawn whose line is not in the file
  int missedByReason[kMissReasonCount] = {};
  MissReason lastMissReason = MissReason::NoReply;
  int staleReplies = 0;         // samples before which waiting input was discarded
  long long staleBytes = 0;     // bytes discarded before samples
  int lastStaleBytes = 0;       // bytes discarded before the latest sample
  int portLosses = 0;           // times the port went away
  int noReplyStreak = 0;        // due samples in a row that got no reply
  int samplesInCompliance = 0;  // readings taken while the current was held at the limit
  int complianceStreaks = 0;    // runs of such readings, not broken by missed samples
};

// How a measurement ended, for the run record.
enum class RunEndReason { Completed, StoppedByUser, WindowClosed, Signal };

// Where a run stands.
enum class RunState {
  Idle,      // no measurement has started
  Running,   // measuring
  PortLost,  // measuring, with the serial port gone
  Ended,     // the last measurement has ended; endReason says how
};

// One moment of a run, made by the run and never changed afterwards, so that
// any thread may read it.
struct RunSnapshot {
  RunState state = RunState::Idle;
  RunEndReason endReason = RunEndReason::Completed;  // once Ended
  int endSignal = 0;                                 // once Ended by a signal
  bool endedWithPortLost = false;                    // the port was away when it ended

  MeasurementSettings settings;  // as accepted at the latest Start; portPath is the device tried
  int tickCount = 0;             // ticks since the start
  double elapsedSeconds = 0.0;   // run time when the snapshot was made
  LatestReading latest;          // the most recent sample of the program
  SampleHistory history;         // the last samples, as the live view draws them
  RunCounters counters;
  std::string recordPath;        // the run record beside the output file, empty when none
  std::string recordWriteError;  // why the record could not be written last, empty when it could
  // With a schedule or a ramp: the voltage set for the latest sample, the step
  // in force (stepInForce false before the first sample or without steps), and
  // whether the output is on its way down to 0 V before it goes off.
  double setVoltage = 0.0;
  bool stepInForce = false;
  StepInForce step;
  bool rampingDown = false;

  bool Measuring() const { return state == RunState::Running || state == RunState::PortLost; }
};
