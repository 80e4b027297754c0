// The life of one measurement: Start after the Setup dialog, the once-per-second
// tick, one sample, and Stop. Plain C++: a front end (the desktop view or the
// command-line runner) supplies the Setup values, the timer ticks and a
// RunFrontEnd for messages and redraws.
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

// A sample that produced no reading (the reply did not give both numbers), or
// whose line could not be appended to the output file.
enum class SampleTrouble { Missed, Lost };

// Counts of the running (or last) measurement; reset by every successful Start.
struct RunCounters {
  int samplesTaken = 0;   // samples with a reading (logged or lost)
  int missedSamples = 0;  // due samples without a reading: nothing stored
  int lostLines = 0;      // readings stored and drawn whose line is not in the file
};
extern RunCounters g_runCounters;

class RunFrontEnd {
 public:
  virtual ~RunFrontEnd() = default;
  // A Start failure the user must read: "Can't create file : <path>", or
  // "Can't open serial port" followed by lines that name the port, the reason
  // and what to do. Shown modally by the desktop program.
  virtual void ShowMessage(const std::string& text) = 0;
  // The display is out of date (new sample, Start, Stop).
  virtual void Redraw() = 0;
  // One missed or lost sample; the counters are already updated.
  virtual void ReportTrouble(SampleTrouble trouble) = 0;
};

// Start after the dialog was accepted: takes the settings, creates the output
// file empty, opens the port, clears the history, sets the counters and start
// time, sends "*RST\r" and ":OUTP ON\r". Returns 0 when the measurement runs and
// 1 when a step failed (the message has been shown through the front end).
// The device that `settings` name: portPath, or else portNumber's device.
std::string SettingsDevicePath(const MeasurementSettings& settings);

int BeginMeasurement(const MeasurementSettings& accepted, RunFrontEnd& frontEnd);

// One timer tick: counts it, stops after the measurement time, samples when due.
// The automatic stop on tick measurementTime + 1 does not call Redraw.
void MeasurementTick(RunFrontEnd& frontEnd);

// One sample: set voltage, read request, reply, parse, time stamp, file line,
// history, redraw. Called by the tick when a sample is due.
// A reply without both numbers is a missed sample: nothing is logged or stored,
// g_latestReading keeps its values, missedSamples grows, ReportTrouble(Missed)
// and Redraw are called. A reading whose line does not reach the file is still
// stored and drawn; lostLines grows and ReportTrouble(Lost) is called.
void TakeSample(RunFrontEnd& frontEnd);

// Stop: ":OUTP OFF\r", close the port, clear g_measuring. Does nothing while idle.
void StopMeasurementRun();

// Formats one output file line: "%.2lf\ts\t%lg\tuA\n" of time and current*1e6.
std::string FormatDataLine(double timeSeconds, double currentAmperes);
