// The SourceMeter 2400's command interpreter, without any terminal: one command
// line in, what the instrument would send back out. The pty server feeds it and
// puts its answers on the line; tests drive it directly.
//
// It reads SCPI program messages (several units per line, the path rule, short
// and long forms in any case, numeric suffixes; sim/scpi_message.h) and routes
// each command to the part of the instrument that serves it: the settings
// (sim/instrument_settings.h), the readings (sim/readings.h) or the error
// queue (sim/scpi_call.h). It serves the commands that drivers use to source a
// voltage or a current and measure current, voltage or resistance, with the
// instrument's reply formats, error numbers, status word and measurement
// times. A header it does not know queues -113 and gets no reply, as on the
// instrument.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

#include "sim/instrument_settings.h"
#include "sim/readings.h"
#include "sim/scpi_call.h"
#include "sim/sim_options.h"

// What the instrument does in answer to one command line.
struct ModelAnswer {
  std::string text;                            // bytes to send back, with the terminator; empty: no answer
  int delayMs = 0;                             // time before the first byte goes out (measurement time)
  bool hangUp = false;                         // after sending `text` (possibly a partial reply), drop the line
  std::size_t pauseAfter = std::string::npos;  // bytes of `text` sent before a pause mid-reply
};

// The parts of the instrument that commands act on, each with its own state.
struct InstrumentParts {
  explicit InstrumentParts(const SimOptions& options) : readings(options) {}

  ErrorQueue errors;
  SourceSettings source;
  SenseSettings sense;
  SystemSettings system;
  TriggerModel trigger;
  Readings readings;

  ReadingSetup Setup() const { return {source, sense, system, trigger}; }
  // *RST: output off, voltage source at 0 V, 105 uA compliance, current
  // measured on auto range, all five reading elements, 1 PLC, immediate
  // triggers. The error queue stays.
  void Reset();
  // :CONF:<function> sets up a one-shot measurement of that function alone
  // (`function` < 0: of those that are on) and switches the output on;
  // :MEAS:<function>? (`measure`) does that and reads.
  void Configure(ScpiCall& call, int function, bool measure);
};

class InstrumentModel {
 public:
  static constexpr const char* kIdentification =
      "KEITHLEY INSTRUMENTS INC.,MODEL 2400,1000001,C32   Oct  4 2010 14:20:11/A02  /S/K";

  explicit InstrumentModel(const SimOptions& options) : parts_(options) {}

  // Runs one command line (its CR/LF terminator already removed). `nowSeconds`
  // is the instrument's time stamp clock.
  ModelAnswer Execute(const std::string& line, double nowSeconds);

  void Reset() { parts_.Reset(); }

  // A command line that crossed the line at the wrong speed: the instrument
  // saw line noise, so it takes it as an unknown header and does nothing else.
  void ReceiveGarbled() { parts_.errors.Push(-113); }

  bool OutputOn() const { return parts_.source.OutputOn(); }
  double SourceVolts() const { return parts_.source.Volts(); }
  double ComplianceA() const { return parts_.sense.Limit(true); }
  double Nplc() const { return parts_.sense.PowerLineCycles(); }
  int ReadRequests() const { return parts_.readings.ReadRequests(); }
  const std::deque<std::string>& ErrorQueue() const { return parts_.errors.Entries(); }

  // The current the device under test draws at `volts`, before noise and clamp.
  double DeviceCurrent(double volts) const { return parts_.readings.DeviceCurrent(volts); }
  // Time one reading takes at the present settings.
  int ReadingTimeMs() const { return parts_.readings.ReadingTimeMs(parts_.Setup()); }

 private:
  void RunCommon(ScpiCall& call, const std::string& name);

  InstrumentParts parts_;
};
