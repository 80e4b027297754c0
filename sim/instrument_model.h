// The SourceMeter 2400's command interpreter, without any terminal: one command
// line in, what the instrument would send back out. The pty server feeds it and
// puts its answers on the line; tests drive it directly.
//
// It reads SCPI program messages (several units per line, the path rule, short
// and long forms in any case, numeric suffixes) and serves the commands that
// drivers use to source a voltage or a current and measure current, voltage or
// resistance, with the instrument's reply formats, error numbers, status word
// and measurement times. A header it does not know queues -113 and gets no
// reply, as on the instrument.
//
// The source holds at its compliance (the current limit of a voltage source,
// the voltage limit of a current source): the device under test then sees
// less than the programmed value, the reading shows what it does see, and the
// status word has bit 3 set. A reading beyond the full scale of a fixed
// measurement range is the over-range marker +9.91E+37 with status bit 0. The
// trigger model (sim/trigger_model.h) sets how many readings a :READ? or
// :INIT takes and when.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "sim/device_under_test.h"
#include "sim/scpi_message.h"
#include "sim/simulated_instrument.h"
#include "sim/trigger_model.h"

// What the instrument does in answer to one command line.
struct ModelAnswer {
  std::string text;       // bytes to send back, with the terminator; empty: no answer
  int delayMs = 0;        // time before the first byte goes out (measurement time)
  bool hangUp = false;    // after sending `text` (possibly a partial reply), drop the line
  std::size_t pauseAfter = std::string::npos;  // bytes of `text` sent before a pause mid-reply
};

class InstrumentModel {
 public:
  // One reading at the reset settings (1 PLC, auto-zero on); Ivra's exchange
  // has always seen this time.
  static constexpr int kMeasureDelayMs = 50;
  static constexpr std::size_t kErrorQueueSize = 10;
  static constexpr const char* kIdentification =
      "KEITHLEY INSTRUMENTS INC.,MODEL 2400,1000001,C32   Oct  4 2010 14:20:11/A02  /S/K";
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

  explicit InstrumentModel(const SimOptions& options);

  // Runs one command line (its CR/LF terminator already removed). `nowSeconds`
  // is the instrument's time stamp clock.
  ModelAnswer Execute(const std::string& line, double nowSeconds);

  // *RST: output off, voltage source at 0 V, 105 uA compliance, current
  // measured on auto range, all five reading elements, 1 PLC, immediate
  // triggers. The error queue stays.
  void Reset();

  // A command line that crossed the line at the wrong speed: the instrument
  // saw line noise, so it takes it as an unknown header and does nothing else.
  void ReceiveGarbled();

  bool OutputOn() const { return outputOn_; }
  bool SourcingCurrent() const { return sourceAmpsMode_; }
  double SourceVolts() const { return sourceVolts_; }
  double SourceAmps() const { return sourceAmps_; }
  double ComplianceA() const { return complianceA_; }
  double ComplianceV() const { return complianceV_; }
  double Nplc() const { return nplc_; }
  bool AutoZero() const { return autoZero_; }
  const TriggerModel& Trigger() const { return trigger_; }
  int ReadRequests() const { return readRequests_; }
  const std::deque<std::string>& ErrorQueue() const { return errors_; }

  // The current the device under test draws at `volts`, before noise and clamp.
  double DeviceCurrent(double volts) const { return device_.Current(volts); }
  // Time one reading takes at the present settings.
  int ReadingTimeMs() const;

 private:
  // What one command line builds up: the replies of its queries and the time
  // they take.
  struct Context {
    double now = 0.0;
    std::vector<std::string> replies;
    int delayMs = 0;
    bool hangUp = false;
    std::string partial;  // with hangUp: the bytes that go out before the line drops
    bool stop = false;    // silent fault: nothing more comes out for this line
    std::size_t pauseAfter = std::string::npos;  // split fault: where in the reply the pause falls

    void Respond(const std::string& text) { replies.push_back(text); }
  };
  struct Reading {
    double volts = 0, amps = 0, ohms = 0, seconds = 0;
    long status = 0;
  };
  using Handler = std::function<void(InstrumentModel&, const ScpiUnit&, Context&)>;
  struct Command {
    HeaderPattern pattern;
    Handler handler;
  };
  static const std::vector<Command>& Commands();

  void Run(const ScpiUnit& unit, Context& context);
  void RunCommon(const ScpiUnit& unit, Context& context);
  void QueueError(int code);
  std::string PopError();

  // Parameter checks: each queues the instrument's error and returns false.
  bool NoParams(const ScpiUnit& unit);
  bool OneParam(const ScpiUnit& unit);
  bool Number(const ScpiUnit& unit, double low, double high, double byDefault, double& value);
  bool Boolean(const ScpiUnit& unit, bool& value);
  bool Choice(const ScpiUnit& unit, const std::vector<const char*>& choices, std::size_t& index);

  // Settings with a query; the setter runs only for a valid value.
  void BooleanSetting(const ScpiUnit& unit, Context& context, bool& setting);
  void NumberSetting(const ScpiUnit& unit, Context& context, double& setting, double low, double high,
                     double byDefault);
  void NumberQuery(const ScpiUnit& unit, Context& context, double value, double low, double high,
                   double byDefault);

  // Commands.
  void Output(const ScpiUnit& unit, Context& context);
  void SourceFunction(const ScpiUnit& unit, Context& context);
  void SourceLevel(const ScpiUnit& unit, Context& context, bool amps);
  void SourceRange(const ScpiUnit& unit, Context& context, bool amps);
  void SourceRangeAuto(const ScpiUnit& unit, Context& context, bool amps);
  void SenseFunctions(const ScpiUnit& unit, Context& context, bool on);
  void SenseAll(const ScpiUnit& unit, bool on);
  void Compliance(const ScpiUnit& unit, Context& context, bool amps);
  void SenseRange(const ScpiUnit& unit, Context& context, bool amps);
  void Elements(const ScpiUnit& unit, Context& context);
  void Read(const ScpiUnit& unit, Context& context);
  void Initiate(const ScpiUnit& unit, Context& context);
  void Fetch(const ScpiUnit& unit, Context& context);
  void Configure(const ScpiUnit& unit, Context& context, int function, bool measure);
  void Count(const ScpiUnit& unit, Context& context, bool arm);
  void ErrorQueries(const ScpiUnit& unit, Context& context, bool all, bool count, bool codesOnly);
  void Terminator(const ScpiUnit& unit, Context& context);
  void ChoiceSetting(const ScpiUnit& unit, Context& context, const std::vector<const char*>& choices,
                     const std::vector<const char*>& answers, std::size_t& setting);
  // Trigger model.
  void TriggerLine(const ScpiUnit& unit, Context& context, double& line);
  void TriggerEvents(const ScpiUnit& unit, Context& context, const std::vector<const char*>& events,
                     const std::vector<const char*>& answers, unsigned& setting);
  void BusTrigger(const ScpiUnit& unit, Context& context);
  void AutoZeroSetting(const ScpiUnit& unit, Context& context);

  // Readings.
  bool MayMeasure();
  // Whether the readings a :READ? or :INIT asks for can start: false (and the
  // instrument stays armed) when the trigger model waits for an event.
  bool Triggered();
  std::vector<Reading> TakeReadings(double nowSeconds);
  Reading TakeReading(double seconds);
  std::string FormatReadings(const std::vector<Reading>& readings) const;
  int ReadingsTimeMs() const;
  double SourceRangeValue(bool amps) const;
  double SenseRangeValue(bool amps) const;
  std::string SenseFunctionList() const;

  SimOptions options_;
  DeviceUnderTest device_;
  std::mt19937 random_;
  std::normal_distribution<double> gaussian_{0.0, 1.0};

  // Kept over *RST, as the instrument keeps them in its power-on setup.
  std::string terminator_ = "\r";
  double lineHz_ = 50.0;
  bool lineHzAuto_ = true;
  bool beeper_ = true;
  int readRequests_ = 0;
  std::deque<std::string> errors_;
  std::deque<int> errorCodes_;
  int eventStatus_ = 128;  // power on
  int eventEnable_ = 0;
  int serviceEnable_ = 0;
  double timeZero_ = 0.0;
  double busyUntil_ = 0.0;

  // Set by *RST.
  bool outputOn_ = false;
  bool sourceAmpsMode_ = false;
  double sourceVolts_ = 0.0, sourceAmps_ = 0.0;
  double sourceVoltRange_ = 0.2, sourceAmpRange_ = 1e-6;
  bool sourceVoltAuto_ = true, sourceAmpAuto_ = true;
  double complianceA_ = 105e-6, complianceV_ = 21.0;
  double senseAmpRange_ = 1e-4, senseVoltRange_ = 20.0;
  bool senseAmpAuto_ = true, senseVoltAuto_ = true;
  bool senseVolts_ = false, senseAmps_ = true, senseOhms_ = false;
  bool concurrent_ = true;
  std::size_t ohmsMode_ = 1;  // MAN, AUTO
  double nplc_ = 1.0;
  bool autoZero_ = true;
  bool elements_[5] = {true, true, true, true, true};  // VOLT, CURR, RES, TIME, STAT
  TriggerModel trigger_;
  bool armed_ = false;  // initiated, waiting for a trigger event
  double sourceDelay_ = 0.001;
  bool sourceDelayAuto_ = true;
  bool autoOutputOff_ = false;
  bool display_ = true;
  bool remoteSense_ = false;
  std::size_t terminals_ = 0;  // FRON, REAR
  bool filter_ = false;
  std::size_t filterMoving_ = 1;  // REP, MOV
  double filterCount_ = 10;
  std::size_t outputOffState_ = 1;  // HIMP, NORM, ZERO, GUAR: kept, no effect on readings
  std::vector<Reading> lastReadings_;
};
