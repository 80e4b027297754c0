// The life of one measurement: Start after the Setup dialog, the once-per-second
// tick, one sample, and Stop. Plain C++: a front end (the desktop view or the
// command-line runner) supplies the Setup values, the timer ticks and a
// RunFrontEnd for messages and redraws. Every state change happens inside
// these functions, so a front end may drive them from a thread of its own.
#pragma once

#include <string>

struct MeasurementSettings {
  int portNumber = 1;        // COM1..COM4, through the port table
  // The device to open; empty: the one the port table gives portNumber. Start
  // fills it with the device it tries, whether the open succeeds or not.
  std::string portPath;
  int sampleInterval = 1;    // seconds (ticks) between samples, 1..1000
  int measurementTime = 1000;  // seconds (ticks), 10..10000000
  double outputVoltage = 0.0;  // volts, -10..10
  std::string outputPath = "x.dat";
};

extern MeasurementSettings g_settings;
extern int g_measuring;     // 1 while a measurement runs
extern int g_tickCount;     // ticks since the measurement started
extern double g_startTime;  // process clock at the start, seconds

// Why a due sample gave no reading.
enum class MissReason {
  NoReply,     // nothing arrived
  NoReading,   // something arrived, but not a voltage and a current
  Incomplete,  // the reply broke off inside or right after the current
  Overflow,    // the instrument's overflow marker (9.9e37 and up) or not a finite number
  PortLost,    // the serial port was gone
};
constexpr int kMissReasonCount = 5;

// What the front end is told about, besides new samples.
enum class SampleTrouble {
  Missed,            // a due sample without a reading; g_runCounters.lastMissReason says why
  Lost,              // a reading stored and drawn whose line is not in the file
  StaleReply,        // input waiting before a sample's first command was discarded
  PortLost,          // the serial port went away (its device hung up or vanished)
  PortBack,          // the port was opened again; sampling goes on
  InstrumentSilent,  // no reply kSilentSampleLimit samples in a row (once per streak)
  RecordNotWritten,  // the run record could not be written (once, until it can be again)
};

constexpr int kSilentSampleLimit = 3;

// Counts of the running (or last) measurement; reset by every successful Start.
struct RunCounters {
  int samplesTaken = 0;   // samples with a reading (logged or lost)
  int missedSamples = 0;  // due samples without a reading: nothing stored
  int lostLines = 0;      // readings stored and drawn whose line is not in the file
  int missedByReason[kMissReasonCount] = {};
  MissReason lastMissReason = MissReason::NoReply;
  int staleReplies = 0;        // samples before which waiting input was discarded
  long long staleBytes = 0;    // bytes discarded before samples
  int lastStaleBytes = 0;      // bytes discarded before the latest sample
  int portLosses = 0;          // times the port went away
  int noReplyStreak = 0;       // due samples in a row that got no reply
};
extern RunCounters g_runCounters;

// How a measurement ended, for the run record.
enum class RunEndReason { Completed, StoppedByUser, WindowClosed, Signal };

class RunFrontEnd {
 public:
  virtual ~RunFrontEnd() = default;
  // A Start failure the user must read: "Can't create file : <path>", or
  // "Can't open serial port" followed by lines that name the port, the reason
  // and what to do. Shown modally by the desktop program.
  virtual void ShowMessage(const std::string& text) = 0;
  // The display is out of date (new sample, Start, Stop).
  virtual void Redraw() = 0;
  // One trouble; the counters are already updated. TroubleText gives its words.
  virtual void ReportTrouble(SampleTrouble trouble) = 0;
  // The stop could not deliver ":OUTP OFF" to the instrument: `text` says that
  // its output may still be on and what to do. The user must see it even when
  // the program is about to end.
  virtual void WarnOutputMayBeOn(const std::string& text) = 0;
};

// The device that `settings` name: portPath, or else portNumber's device.
std::string SettingsDevicePath(const MeasurementSettings& settings);

// Start after the dialog was accepted: takes the settings, creates the output
// file empty under the run's lock, opens the port, clears the history, sets the
// counters and start time, sends "*RST\r" and ":OUTP ON\r", and writes the run
// record. Returns 0 when the measurement runs and 1 when a step failed (the
// message has been shown through the front end).
int BeginMeasurement(const MeasurementSettings& accepted, RunFrontEnd& frontEnd);

// One timer tick: counts it, stops after the measurement time, samples when due.
// The automatic stop on tick measurementTime + 1 does not call Redraw.
void MeasurementTick(RunFrontEnd& frontEnd);

// One sample: discard stale input, set voltage, read request, reply, parse,
// time stamp, file line, history, redraw. Called by the tick when a sample is due.
// A reply without a usable reading is a missed sample: nothing is logged or
// stored, g_latestReading keeps its values, ReportTrouble(Missed) and Redraw
// are called. A reading whose line does not reach the file is still stored and
// drawn; lostLines grows and ReportTrouble(Lost) is called. While the port is
// lost, each due sample first tries to open it again (same port, same settings).
void TakeSample(RunFrontEnd& frontEnd);

// Stop: ":OUTP OFF\r" (on a lost port after one try to open it again), close the
// port, give the output file's lock up, write the run record, clear g_measuring.
// Returns whether ":OUTP OFF\r" reached the port; when it did not, the front
// end's WarnOutputMayBeOn has been called. Idle: does nothing, returns true.
bool StopMeasurementRun(RunFrontEnd& frontEnd, RunEndReason reason, int signalNumber = 0);

// True while the running measurement's port is lost.
bool MeasurementPortLost();

// The device path of the running (or last) measurement's port.
const std::string& MeasurementPortPath();

// Formats one output file line: "%.2lf\ts\t%lg\tuA\n" of time and current*1e6.
std::string FormatDataLine(double timeSeconds, double currentAmperes);
