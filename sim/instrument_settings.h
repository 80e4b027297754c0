// The SourceMeter's settings, in the groups its commands address: the source
// and its output, the measuring side, the system settings and the trigger
// model. Each group serves its own commands (the interpreter routes them) and
// tells the readings what they need to know.
//
// The source holds at its compliance, the current limit of a voltage source
// or the voltage limit of a current source; the measuring side's ranges never
// go beyond the compliance's own.
#pragma once

#include <cmath>
#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include "sim/scpi_call.h"

// The instrument's limits and ranges.
namespace sourcemeter {

constexpr double kMaxVolts = 210.0;
constexpr double kMaxAmps = 1.05;
constexpr double kMaxDelaySeconds = 999.9999;
constexpr double kMinArmTimerSeconds = 0.001;
constexpr double kMaxArmTimerSeconds = 99999.99;
constexpr int kMaxReadings = 2500;
constexpr double kRangeTop = 1.05;         // a range's settings reach 105 % of its name
constexpr double kRangeFullScale = 1.055;  // its readings reach 105.5 %; beyond that they overflow
constexpr double kVoltRanges[] = {0.2, 2, 20, 200};
constexpr double kAmpRanges[] = {1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1};

// A range as the instrument names it in a reply: its top, "1.050000E-04" for
// the 100 uA range.
std::string RangeField(double range);

// The smallest range that holds `value`; the largest when none does.
inline double RangeFor(double value, bool amps) {
  const double* first = amps ? std::begin(kAmpRanges) : std::begin(kVoltRanges);
  const double* last = amps ? std::end(kAmpRanges) : std::end(kVoltRanges);
  for (const double* range = first; range != last; ++range) {
    // The tolerance keeps a range's own top ("1.05e-4", as a driver writes
    // it back) in that range despite rounding.
    if (std::fabs(value) <= *range * kRangeTop * (1 + 1e-9)) return *range;
  }
  return *(last - 1);
}

}  // namespace sourcemeter

// :SOURce and :OUTPut: what the instrument sources, on which range, and
// whether the output is on. *RST: output off, a voltage source at 0 V.
class SourceSettings {
 public:
  void Reset() { *this = SourceSettings{}; }

  void Output(ScpiCall& call) { call.BooleanSetting(outputOn_); }
  void OutputOffState(ScpiCall& call);
  void Function(ScpiCall& call);
  void Level(ScpiCall& call, bool amps);
  void Range(ScpiCall& call, bool amps);
  void RangeAuto(ScpiCall& call, bool amps);
  void AutoOutputOff(ScpiCall& call) { call.BooleanSetting(autoOutputOff_); }
  void Delay(ScpiCall& call);
  void DelayAuto(ScpiCall& call) { call.BooleanSetting(delayAuto_); }
  // :SOUR:CLE switches the output off, :CONF on.
  void SetOutput(bool on) { outputOn_ = on; }

  bool OutputOn() const { return outputOn_; }
  // Whether a reading may start: with the output on, or with auto output-off,
  // which switches it on for the reading.
  bool MayMeasure() const { return outputOn_ || autoOutputOff_; }
  bool SourcingCurrent() const { return sourcingAmps_; }
  double Volts() const { return volts_; }
  double Amps() const { return amps_; }
  double DelayMs() const { return delayAuto_ ? 0.0 : delay_ * 1000.0; }

 private:
  double RangeValue(bool amps) const;

  bool outputOn_ = false;
  bool sourcingAmps_ = false;
  double volts_ = 0.0, amps_ = 0.0;
  double voltRange_ = sourcemeter::kVoltRanges[0], ampRange_ = sourcemeter::kAmpRanges[0];
  bool voltAuto_ = true, ampAuto_ = true;
  double delay_ = 0.001;
  bool delayAuto_ = true;
  bool autoOutputOff_ = false;
  std::size_t outputOffState_ = 1;  // HIMP, NORM, ZERO, GUAR: kept, no effect on readings
};

// :SENSe: what the instrument measures, on which range and how long, and the
// compliance. *RST: current on auto range at a 105 uA limit, 1 PLC.
class SenseSettings {
 public:
  enum Function { kVolts, kAmps, kOhms };

  void Reset() { *this = SenseSettings{}; }

  // :SENS:FUNC "VOLT","CURR:DC" or :SENS:FUNC 'VOLT,CURR': quoted function names.
  void Functions(ScpiCall& call, bool on);
  void AllFunctions(ScpiCall& call, bool on);
  void Concurrent(ScpiCall& call);
  void Compliance(ScpiCall& call, bool amps);
  void Nplc(ScpiCall& call) { call.NumberSetting(nplc_, 0.01, 10, 1); }
  void Range(ScpiCall& call, bool amps);
  void RangeAuto(ScpiCall& call, bool amps) { call.BooleanSetting(amps ? ampAuto_ : voltAuto_); }
  void OhmsMode(ScpiCall& call) { call.ChoiceSetting({"MANual", "AUTO"}, {"MAN", "AUTO"}, ohmsMode_); }
  void Filter(ScpiCall& call) { call.BooleanSetting(filter_); }
  void FilterControl(ScpiCall& call) { call.ChoiceSetting({"REPeat", "MOVing"}, {"REP", "MOV"}, filterMoving_); }
  void FilterCount(ScpiCall& call);
  // :CONF:<function>: that function alone.
  void MeasureOnly(Function function);
  // The functions that are on, as :SENS:FUNC? names them.
  std::string FunctionList() const;

  bool Measures(Function function) const { return function == kVolts ? volts_ : function == kAmps ? amps_ : ohms_; }
  // The compliance: the current limit with `amps`, else the voltage limit.
  double Limit(bool amps) const { return amps ? complianceA_ : complianceV_; }
  bool AutoRange(bool amps) const { return amps ? ampAuto_ : voltAuto_; }
  // The range a reading of volts or amps is taken on; auto range follows the
  // compliance, the largest value a reading can take.
  double RangeValue(bool amps) const;
  bool AutoOhms() const { return ohmsMode_ == 1; }
  double PowerLineCycles() const { return nplc_; }
  bool FilterOn() const { return filter_; }
  // A repeating filter measures anew for every value it averages; a moving
  // one reuses the conversions before.
  bool RepeatingFilter() const { return filter_ && filterMoving_ == 0; }
  double FilterCount() const { return filterCount_; }

 private:
  double complianceA_ = 105e-6, complianceV_ = 21.0;
  double ampRange_ = 1e-4, voltRange_ = 20.0;
  bool ampAuto_ = true, voltAuto_ = true;
  bool volts_ = false, amps_ = true, ohms_ = false;
  bool concurrent_ = true;
  std::size_t ohmsMode_ = 1;  // MAN, AUTO
  double nplc_ = 1.0;
  bool filter_ = false;
  std::size_t filterMoving_ = 1;  // REP, MOV
  double filterCount_ = 10;
};

// :SYSTem and the settings next to it: auto-zero, the line frequency, the
// terminals, the display, the beeper and the RS-232 terminator. *RST leaves
// the line frequency, the beeper and the terminator as they are: the
// instrument keeps them in its power-on setup.
class SystemSettings {
 public:
  void Reset();

  void AutoZero(ScpiCall& call);
  void LineFrequency(ScpiCall& call);
  void LineFrequencyAuto(ScpiCall& call) { call.BooleanSetting(lineHzAuto_); }
  void Beeper(ScpiCall& call) { call.BooleanSetting(beeper_); }
  void Beep(ScpiCall& call);
  void Display(ScpiCall& call) { call.BooleanSetting(display_); }
  void RemoteSense(ScpiCall& call) { call.BooleanSetting(remoteSense_); }
  void Terminals(ScpiCall& call) { call.ChoiceSetting({"FRONt", "REAR"}, {"FRON", "REAR"}, terminals_); }
  void Terminator(ScpiCall& call);

  bool AutoZeroOn() const { return autoZero_; }
  double LineHz() const { return lineHz_; }
  bool FrontTerminals() const { return terminals_ == 0; }
  bool RemoteSenseOn() const { return remoteSense_; }
  // The bytes that end every reply.
  const std::string& ReplyEnd() const { return terminator_; }

 private:
  // Kept over *RST.
  std::string terminator_ = "\r";
  double lineHz_ = 50.0;
  bool lineHzAuto_ = true;
  bool beeper_ = true;
  // Set by *RST.
  bool autoZero_ = true;
  bool display_ = true;
  bool remoteSense_ = false;
  std::size_t terminals_ = 0;  // FRON, REAR
};

// The trigger model: an arm layer around a trigger layer. Each layer has a
// count, an event source, a bypass direction and Trigger Link input and output
// lines; the trigger layer adds a delay before each reading.
//
// Nothing is wired to the simulated instrument's Trigger Link, Digital I/O or
// front panel, so an event from one of them never comes. The layers here only
// say whether a pass can run on its own and when each reading starts.
class TriggerModel {
 public:
  enum Layer { kArm, kTrigger };
  enum LineName { kArmInput, kArmOutput, kTriggerInput, kTriggerOutput };
  enum EventList { kArmOutputEvents, kTriggerOutputEvents, kTriggerInputEvents };

  void Reset() { *this = TriggerModel{}; }

  void Count(ScpiCall& call, Layer layer);
  void Delay(ScpiCall& call) { call.NumberSetting(triggerDelaySeconds_, 0, sourcemeter::kMaxDelaySeconds, 0); }
  void TriggerSource(ScpiCall& call) { call.ChoiceSetting({"IMMediate", "TLINk"}, {"IMM", "TLIN"}, triggerSource_); }
  void ArmSource(ScpiCall& call);
  void ArmTimer(ScpiCall& call);
  void Direction(ScpiCall& call, Layer layer);
  // A Trigger Link line, 1 to 4.
  void Line(ScpiCall& call, LineName line);
  // A list of a layer's output (or input) events, or NONE.
  void Events(ScpiCall& call, EventList list);
  // :CONF: back to one immediate reading.
  void OneImmediateReading();

  double DelaySeconds() const { return triggerDelaySeconds_; }
  // Whether a pass through the layers waits for an event that never comes
  // (Trigger Link, front panel, Digital I/O). `busTriggered`: a *TRG arrived
  // for an arm layer that waits for one. A layer set to bypass (SOURce) lets
  // its first pass through without an event, which covers a count of 1.
  bool WaitsForEvent(bool busTriggered) const;
  bool WaitsForBus() const { return armSource_ == kArmBus; }
  // When each reading starts, in seconds after the first, for readings of
  // `readingSeconds` each. With the timer as arm event the first arm pass
  // starts at once and each later one a timer interval after the one before,
  // or when the one before ends if that takes longer.
  std::vector<double> ReadingStarts(double readingSeconds) const;

 private:
  // Event sources, in the order of their mnemonics.
  enum ArmEvent : std::size_t {
    kArmImmediate,
    kArmTimer,
    kArmManual,
    kArmBus,
    kArmTriggerLink,
    kArmNegativeStest,
    kArmPositiveStest,
    kArmBothStest
  };
  enum TriggerEvent : std::size_t { kTriggerImmediate, kTriggerLink };
  enum Bypass : std::size_t { kSource, kAcceptor };

  std::size_t armSource_ = kArmImmediate;
  std::size_t triggerSource_ = kTriggerImmediate;
  std::size_t armDirection_ = kAcceptor, triggerDirection_ = kAcceptor;
  double armCount_ = 1, triggerCount_ = 1;
  double armTimerSeconds_ = 0.1;
  double triggerDelaySeconds_ = 0.0;
  double lines_[4] = {1, 2, 1, 2};  // by LineName
  // Event lists, one bit per event in the order of their mnemonics: TENTer,
  // TEXit for the arm layer; SOURce, DELay, SENSe for the trigger layer.
  unsigned events_[3] = {0, 0, 0};  // by EventList
};
