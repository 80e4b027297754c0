#include "sim/readings.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

using namespace sourcemeter;

namespace {

constexpr double kConversionExtraMs = 0.185;  // an A/D conversion beyond its line cycles
constexpr double kFirmwareMs = 1.5;           // trigger, source and formatting per reading

constexpr double kDiodeSaturationA = 1e-12;
constexpr double kDiodeIdeality = 1.5;
constexpr double kThermalVolts = 0.025852;  // kT/q at 300 K

}  // namespace

// ---- Device under test ------------------------------------------------------

double DeviceUnderTest::Current(double volts) const {
  if (diode_) return kDiodeSaturationA * std::expm1(volts / (kDiodeIdeality * kThermalVolts));
  return volts / ohms_;
}

double DeviceUnderTest::Voltage(double amps) const {
  if (!diode_) return amps * ohms_;
  if (amps <= -kDiodeSaturationA) return -std::numeric_limits<double>::infinity();
  return kDiodeIdeality * kThermalVolts * std::log1p(amps / kDiodeSaturationA);
}

// ---- Readings ---------------------------------------------------------------

Readings::Readings(const SimOptions& options) : options_(options), device_(options), random_(options.seed) {}

void Readings::Reset() {
  std::fill(std::begin(elements_), std::end(elements_), true);
  armed_ = false;
  lastReadings_.clear();
}

int Readings::ReadingTimeMs(const ReadingSetup& setup) const {
  // The manual's timing: each A/D conversion integrates over NPLC line cycles
  // and takes 185 us beyond them; auto-zero adds a reference and a zero
  // conversion to every reading; the firmware adds its own time. Rounded up:
  // a reply never leaves before its reading exists.
  const double conversions = setup.system.AutoZeroOn() ? 3.0 : 1.0;
  const double cycleMs = 1000.0 / setup.system.LineHz();
  double ms = conversions * (setup.sense.PowerLineCycles() * cycleMs + kConversionExtraMs) + kFirmwareMs;
  if (setup.sense.RepeatingFilter()) ms *= setup.sense.FilterCount();
  ms += setup.trigger.DelaySeconds() * 1000.0 + setup.source.DelayMs();
  return static_cast<int>(std::ceil(ms - 1e-9));
}

int Readings::ReadingsTimeMs(const ReadingSetup& setup) const {
  const double reading = ReadingTimeMs(setup) / 1000.0;
  return static_cast<int>(std::lround((setup.trigger.ReadingStarts(reading).back() + reading) * 1000.0));
}

int Readings::BusyMs(double now) const {
  return std::max(0, static_cast<int>(std::lround((busyUntil_ - now) * 1000.0)));
}

bool Readings::MayMeasure(ScpiCall& call, const ReadingSetup& setup) {
  if (setup.source.MayMeasure()) return true;
  call.Error(803);
  return false;
}

bool Readings::Triggered(const ReadingSetup& setup) {
  armed_ = setup.trigger.WaitsForEvent(false);
  if (armed_) lastReadings_.clear();
  return !armed_;
}

Readings::Reading Readings::TakeReading(double seconds, const ReadingSetup& setup) {
  const SenseSettings& sense = setup.sense;
  Reading r;
  r.seconds = seconds - timeZero_;
  // The filter averages `count` conversions, which narrows the noise.
  const double averaged = sense.FilterOn() ? std::sqrt(sense.FilterCount()) : 1.0;
  const double noise = options_.noise > 0.0 ? options_.noise * gaussian_(random_) / averaged : 0.0;
  const bool amps = setup.source.SourcingCurrent();
  const double limit = sense.Limit(!amps);
  bool inCompliance = false;
  double volts = 0.0, current = 0.0;
  if (!amps) {
    volts = setup.source.Volts();
    current = device_.Current(volts) + noise;
    if (!(std::fabs(current) < limit)) {  // also catches an infinite diode current
      inCompliance = true;
      current = std::copysign(limit, current);
      volts = device_.Voltage(current);
    }
  } else {
    current = setup.source.Amps();
    volts = device_.Voltage(current + noise);
    if (!(std::fabs(volts) < limit)) {
      inCompliance = true;
      volts = std::copysign(limit, volts);
      current = device_.Current(volts);
    }
  }
  const bool senseVolts = sense.Measures(SenseSettings::kVolts);
  const bool senseAmps = sense.Measures(SenseSettings::kAmps);
  const bool senseOhms = sense.Measures(SenseSettings::kOhms);
  // The measured side reads on its range: beyond full scale it overflows.
  const bool fixedRange = !sense.AutoRange(!amps);
  const double fullScale = sense.RangeValue(!amps) * kRangeFullScale;
  const bool overRange = fixedRange && (amps ? senseVolts : senseAmps) && std::fabs(amps ? volts : current) > fullScale;
  // The sourced quantity reads as programmed unless it is measured too, or
  // the source holds at its compliance and the device sees less.
  const bool programmed = !inCompliance;
  r.volts = (amps && !senseVolts) ? kOverflow : (!amps && !senseVolts && programmed) ? setup.source.Volts() : volts;
  r.amps = (!amps && !senseAmps) ? kOverflow : (amps && !senseAmps && programmed) ? setup.source.Amps() : current;
  r.ohms = (senseOhms && current != 0.0) ? volts / current : kOverflow;
  if (overRange) {
    (amps ? r.volts : r.amps) = kOverflow;
    r.ohms = kOverflow;
  }
  r.status = (overRange ? kStatusOverRange : 0) + (setup.system.FrontTerminals() ? kStatusFront : 0) +
             (sense.AutoOhms() ? kStatusAutoOhms : 0) + (senseVolts ? kStatusVoltsMeasured : 0) +
             (senseAmps ? kStatusAmpsMeasured : 0) + (senseOhms ? kStatusOhmsMeasured : 0) +
             (amps ? kStatusAmpsSourced : kStatusVoltsSourced) + (inCompliance ? kStatusCompliance : 0) +
             (setup.system.RemoteSenseOn() ? kStatusRemoteSense : 0);
  return r;
}

std::vector<Readings::Reading> Readings::TakeReadings(double nowSeconds, const ReadingSetup& setup) {
  std::vector<Reading> readings;
  for (const double start : setup.trigger.ReadingStarts(ReadingTimeMs(setup) / 1000.0)) {
    readings.push_back(TakeReading(nowSeconds + start, setup));
  }
  return readings;
}

std::string Readings::Format(const std::vector<Reading>& readings) const {
  std::string text;
  for (const Reading& r : readings) {
    const double values[] = {r.volts, r.amps, r.ohms, r.seconds, static_cast<double>(r.status)};
    for (int i = 0; i < 5; ++i) {
      if (!elements_[i]) continue;
      if (!text.empty()) text += ',';
      text += Field(values[i]);
    }
  }
  return text;
}

void Readings::Elements(ScpiCall& call) {
  static const char* const kNames[] = {"VOLTage", "CURRent", "RESistance", "TIME", "STATus"};
  static const char* const kShort[] = {"VOLT", "CURR", "RES", "TIME", "STAT"};
  if (call.IsQuery()) {
    if (!call.NoParams()) return;
    std::string list;
    for (int i = 0; i < 5; ++i) {
      if (!elements_[i]) continue;
      if (!list.empty()) list += ',';
      list += kShort[i];
    }
    call.Respond(list);
    return;
  }
  if (call.Params().empty()) {
    call.Error(-109);
    return;
  }
  bool chosen[5] = {false, false, false, false, false};
  for (const std::string& param : call.Params()) {
    int found = -1;
    for (int i = 0; i < 5; ++i) {
      if (IsMnemonic(param, kNames[i])) found = i;
    }
    if (found < 0) {
      call.Error(-224);
      return;
    }
    chosen[found] = true;
  }
  std::copy(std::begin(chosen), std::end(chosen), std::begin(elements_));
}

// ASCII is the only data format served.
void Readings::DataFormat(ScpiCall& call) {
  std::size_t ascii = 0;
  call.ChoiceSetting({"ASCii"}, {"ASC"}, ascii);
}

void Readings::Read(ScpiCall& call, const ReadingSetup& setup) {
  if (!call.Query()) return;
  LineAnswer& line = call.Line();
  ++readRequests_;
  const int delay = ReadingsTimeMs(setup) + std::max(0, options_.slowReplyMs);
  if (options_.hangUpAfterReads >= 0 && readRequests_ > options_.hangUpAfterReads) {
    // The line drops in the middle of the reply.
    std::string full;
    for (const std::string& reply : line.replies) full += reply + ';';
    full += Format(TakeReadings(line.now, setup)) + setup.system.ReplyEnd();
    line.partial = full.substr(0, full.size() / 2);
    line.delayMs += delay;
    line.hangUp = true;
    return;
  }
  if (!MayMeasure(call, setup)) return;
  if (options_.silent || !Triggered(setup)) {
    line.stop = true;
    line.replies.clear();
    return;
  }
  line.delayMs += delay;
  if (options_.garbage) {
    call.Respond("@#LINE NOISE#@ !?");
    return;
  }
  lastReadings_ = TakeReadings(line.now, setup);
  if (options_.oneNumber) {
    call.Respond(Field(lastReadings_.front().volts));
    return;
  }
  std::string text = Format(lastReadings_);
  if (options_.longReply) text += ',' + Format(TakeReadings(line.now, setup));  // as from a trigger count of 2
  if (options_.splitReplyAfter >= 0 && line.pauseAfter == std::string::npos) {
    std::size_t before = 0;  // the replies ahead of this one in the same answer, and their ";"
    for (const std::string& reply : line.replies) before += reply.size() + 1;
    line.pauseAfter = before + static_cast<std::size_t>(options_.splitReplyAfter);
  }
  call.Respond(text);
}

void Readings::Initiate(ScpiCall& call, const ReadingSetup& setup) {
  if (!call.Command() || !MayMeasure(call, setup) || !Triggered(setup)) return;
  lastReadings_ = TakeReadings(call.Now(), setup);
  busyUntil_ = call.Now() + ReadingsTimeMs(setup) / 1000.0;
}

void Readings::BusTrigger(ScpiCall& call, const ReadingSetup& setup) {
  if (!call.NoParams()) return;
  if (!armed_ || !setup.trigger.WaitsForBus() || setup.trigger.WaitsForEvent(true)) {
    call.Error(-211);
    return;
  }
  armed_ = false;
  lastReadings_ = TakeReadings(call.Now(), setup);
  busyUntil_ = call.Now() + ReadingsTimeMs(setup) / 1000.0;
}

void Readings::Fetch(ScpiCall& call) {
  if (!call.Query()) return;
  if (lastReadings_.empty()) {
    call.Error(-230);
    return;
  }
  call.Line().delayMs += BusyMs(call.Now());
  call.Respond(Format(lastReadings_));
}

void Readings::Measure(ScpiCall& call, const ReadingSetup& setup) {
  call.Line().delayMs += ReadingsTimeMs(setup);
  lastReadings_ = TakeReadings(call.Now(), setup);
  call.Respond(Format(lastReadings_));
}

void Readings::Abort() {
  busyUntil_ = 0.0;
  armed_ = false;
}

void Readings::AnswerWhenDone(ScpiCall& call) {
  LineAnswer& line = call.Line();
  if (armed_) {
    line.stop = true;
    line.replies.clear();
    return;
  }
  line.delayMs += BusyMs(line.now);
  call.Respond("1");
}
