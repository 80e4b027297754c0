// The SourceMeter's readings: the device on its terminals, what a reading of
// it shows at the present settings, and the replies of :READ?, :INIT, :FETCh?,
// :MEASure? and *TRG, with the time they take.
//
// A reading shows what the device sees: at the compliance that is less than
// the programmed value, and the status word has bit 3 set. A reading beyond
// the full scale of a fixed measurement range is the over-range marker
// +9.91E+37 with status bit 0. The trigger model sets how many readings a
// :READ? or :INIT takes and when.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "sim/instrument_settings.h"
#include "sim/scpi_call.h"
#include "sim/sim_options.h"

// The device on the simulated SourceMeter's terminals: a resistor or a diode.
class DeviceUnderTest {
 public:
  explicit DeviceUnderTest(const SimOptions& options) : diode_(options.diode), ohms_(options.ohms) {}

  // The current the device draws at `volts`: may be infinite far forward.
  double Current(double volts) const;
  // The voltage across the device when `amps` are forced through it: infinite
  // when it cannot carry that current (a diode in reverse beyond its leakage).
  double Voltage(double amps) const;

 private:
  bool diode_;
  double ohms_;
};

// The settings a reading is taken with.
struct ReadingSetup {
  const SourceSettings& source;
  const SenseSettings& sense;
  const SystemSettings& system;
  const TriggerModel& trigger;
};

class Readings {
 public:
  static constexpr double kOverflow = 9.91e37;  // the instrument's "no value" (NAN) and over-range marker
  // Status word bits of a reading.
  static constexpr long kStatusOverRange = 1L << 0;
  static constexpr long kStatusFront = 1L << 2;
  static constexpr long kStatusCompliance = 1L << 3;
  static constexpr long kStatusAutoOhms = 1L << 10;
  static constexpr long kStatusVoltsMeasured = 1L << 11;
  static constexpr long kStatusAmpsMeasured = 1L << 12;
  static constexpr long kStatusOhmsMeasured = 1L << 13;
  static constexpr long kStatusVoltsSourced = 1L << 14;
  static constexpr long kStatusAmpsSourced = 1L << 15;
  static constexpr long kStatusRemoteSense = 1L << 22;

  explicit Readings(const SimOptions& options);

  // *RST: all five reading elements, no readings kept, no trigger awaited.
  void Reset();

  void Elements(ScpiCall& call);
  void DataFormat(ScpiCall& call);
  // :READ?, with the fault modes of SimOptions.
  void Read(ScpiCall& call, const ReadingSetup& setup);
  void Initiate(ScpiCall& call, const ReadingSetup& setup);
  // *TRG: the bus trigger an armed instrument waits for when its arm event is BUS.
  void BusTrigger(ScpiCall& call, const ReadingSetup& setup);
  void Fetch(ScpiCall& call);
  // The readings of :MEASure?, once the measurement is set up.
  void Measure(ScpiCall& call, const ReadingSetup& setup);
  void Abort();
  // *OPC?: answers once the readings started by :INIT are done; an instrument
  // still waiting for its trigger does not answer at all.
  void AnswerWhenDone(ScpiCall& call);
  // :SYST:TIME:RES: time stamps count from `now`.
  void ResetTime(double now) { timeZero_ = now; }

  int ReadRequests() const { return readRequests_; }
  // Time one reading takes at the present settings.
  int ReadingTimeMs(const ReadingSetup& setup) const;
  double DeviceCurrent(double volts) const { return device_.Current(volts); }

 private:
  struct Reading {
    double volts = 0, amps = 0, ohms = 0, seconds = 0;
    long status = 0;
  };

  // Whether the readings a :READ? or :INIT asks for can start: false (and the
  // instrument stays armed) when the trigger model waits for an event.
  bool Triggered(const ReadingSetup& setup);
  bool MayMeasure(ScpiCall& call, const ReadingSetup& setup);
  std::vector<Reading> TakeReadings(double nowSeconds, const ReadingSetup& setup);
  Reading TakeReading(double seconds, const ReadingSetup& setup);
  std::string Format(const std::vector<Reading>& readings) const;
  int ReadingsTimeMs(const ReadingSetup& setup) const;
  int BusyMs(double now) const;

  SimOptions options_;
  DeviceUnderTest device_;
  std::mt19937 random_;
  std::normal_distribution<double> gaussian_{0.0, 1.0};

  // Kept over *RST.
  int readRequests_ = 0;
  double timeZero_ = 0.0;
  double busyUntil_ = 0.0;

  // Set by *RST.
  bool elements_[5] = {true, true, true, true, true};  // VOLT, CURR, RES, TIME, STAT
  bool armed_ = false;                                 // initiated, waiting for a trigger event
  std::vector<Reading> lastReadings_;
};
