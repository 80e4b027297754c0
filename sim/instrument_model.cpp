#include "sim/instrument_model.h"

#include <vector>

namespace {

using sourcemeter::Whole;
using P = InstrumentParts&;
using C = ScpiCall&;

// The instrument's command headers, each with the part that serves it. The
// first pattern that matches wins.
struct Route {
  HeaderPattern pattern;
  void (*serve)(InstrumentParts& parts, ScpiCall& call);
};

const std::vector<Route>& Routes() {
  using S = SenseSettings;
  using T = TriggerModel;
  static const std::vector<Route> routes = {
      {HeaderPattern(":OUTPut#[:STATe]"), [](P p, C c) { p.source.Output(c); }},
      {HeaderPattern(":SOURce#:FUNCtion[:MODE]"), [](P p, C c) { p.source.Function(c); }},
      {HeaderPattern(":SOURce#:VOLTage[:LEVel][:IMMediate][:AMPLitude]"), [](P p, C c) { p.source.Level(c, false); }},
      {HeaderPattern(":SOURce#:CURRent[:LEVel][:IMMediate][:AMPLitude]"), [](P p, C c) { p.source.Level(c, true); }},
      {HeaderPattern(":SOURce#:VOLTage:RANGe"), [](P p, C c) { p.source.Range(c, false); }},
      {HeaderPattern(":SOURce#:CURRent:RANGe"), [](P p, C c) { p.source.Range(c, true); }},
      {HeaderPattern(":SOURce#:VOLTage:RANGe:AUTO"), [](P p, C c) { p.source.RangeAuto(c, false); }},
      {HeaderPattern(":SOURce#:CURRent:RANGe:AUTO"), [](P p, C c) { p.source.RangeAuto(c, true); }},
      {HeaderPattern(":SOURce#:CLEar[:IMMediate]"),
       [](P p, C c) {
         if (c.Command()) p.source.SetOutput(false);
       }},
      {HeaderPattern(":SOURce#:CLEar:AUTO"), [](P p, C c) { p.source.AutoOutputOff(c); }},
      {HeaderPattern(":SOURce#:DELay"), [](P p, C c) { p.source.Delay(c); }},
      {HeaderPattern(":SOURce#:DELay:AUTO"), [](P p, C c) { p.source.DelayAuto(c); }},
      {HeaderPattern("[:SENSe#]:FUNCtion[:ON]"), [](P p, C c) { p.sense.Functions(c, true); }},
      {HeaderPattern("[:SENSe#]:FUNCtion:OFF"), [](P p, C c) { p.sense.Functions(c, false); }},
      {HeaderPattern("[:SENSe#]:FUNCtion[:ON]:ALL"), [](P p, C c) { p.sense.AllFunctions(c, true); }},
      {HeaderPattern("[:SENSe#]:FUNCtion:OFF:ALL"), [](P p, C c) { p.sense.AllFunctions(c, false); }},
      {HeaderPattern("[:SENSe#]:FUNCtion:CONCurrent"), [](P p, C c) { p.sense.Concurrent(c); }},
      {HeaderPattern("[:SENSe#]:CURRent[:DC]:PROTection[:LEVel]"), [](P p, C c) { p.sense.Compliance(c, true); }},
      {HeaderPattern("[:SENSe#]:VOLTage[:DC]:PROTection[:LEVel]"), [](P p, C c) { p.sense.Compliance(c, false); }},
      {HeaderPattern("[:SENSe#]:CURRent[:DC]:NPLCycles"), [](P p, C c) { p.sense.Nplc(c); }},
      {HeaderPattern("[:SENSe#]:VOLTage[:DC]:NPLCycles"), [](P p, C c) { p.sense.Nplc(c); }},
      {HeaderPattern("[:SENSe#]:RESistance:NPLCycles"), [](P p, C c) { p.sense.Nplc(c); }},
      {HeaderPattern("[:SENSe#]:CURRent[:DC]:RANGe[:UPPer]"), [](P p, C c) { p.sense.Range(c, true); }},
      {HeaderPattern("[:SENSe#]:VOLTage[:DC]:RANGe[:UPPer]"), [](P p, C c) { p.sense.Range(c, false); }},
      {HeaderPattern("[:SENSe#]:CURRent[:DC]:RANGe:AUTO"), [](P p, C c) { p.sense.RangeAuto(c, true); }},
      {HeaderPattern("[:SENSe#]:VOLTage[:DC]:RANGe:AUTO"), [](P p, C c) { p.sense.RangeAuto(c, false); }},
      {HeaderPattern("[:SENSe#]:RESistance:MODE"), [](P p, C c) { p.sense.OhmsMode(c); }},
      {HeaderPattern("[:SENSe#]:AVERage[:STATe]"), [](P p, C c) { p.sense.Filter(c); }},
      {HeaderPattern("[:SENSe#]:AVERage:TCONtrol"), [](P p, C c) { p.sense.FilterControl(c); }},
      {HeaderPattern("[:SENSe#]:AVERage:COUNt"), [](P p, C c) { p.sense.FilterCount(c); }},
      {HeaderPattern(":OUTPut#:SMODe"), [](P p, C c) { p.source.OutputOffState(c); }},
      {HeaderPattern(":FORMat:ELEMents[:SENSe#]"), [](P p, C c) { p.readings.Elements(c); }},
      {HeaderPattern(":FORMat[:DATA]"), [](P p, C c) { p.readings.DataFormat(c); }},
      {HeaderPattern(":READ"), [](P p, C c) { p.readings.Read(c, p.Setup()); }},
      {HeaderPattern(":INITiate[:IMMediate]"), [](P p, C c) { p.readings.Initiate(c, p.Setup()); }},
      {HeaderPattern(":FETCh"), [](P p, C c) { p.readings.Fetch(c); }},
      {HeaderPattern(":MEASure"), [](P p, C c) { p.Configure(c, -1, true); }},
      {HeaderPattern(":MEASure:VOLTage[:DC]"), [](P p, C c) { p.Configure(c, S::kVolts, true); }},
      {HeaderPattern(":MEASure:CURRent[:DC]"), [](P p, C c) { p.Configure(c, S::kAmps, true); }},
      {HeaderPattern(":MEASure:RESistance"), [](P p, C c) { p.Configure(c, S::kOhms, true); }},
      {HeaderPattern(":CONFigure"), [](P p, C c) { p.Configure(c, -1, false); }},
      {HeaderPattern(":CONFigure:VOLTage[:DC]"), [](P p, C c) { p.Configure(c, S::kVolts, false); }},
      {HeaderPattern(":CONFigure:CURRent[:DC]"), [](P p, C c) { p.Configure(c, S::kAmps, false); }},
      {HeaderPattern(":CONFigure:RESistance"), [](P p, C c) { p.Configure(c, S::kOhms, false); }},
      {HeaderPattern(":ABORt"),
       [](P p, C c) {
         if (c.Command()) p.readings.Abort();
       }},
      {HeaderPattern(":TRIGger[:SEQuence#]:COUNt"), [](P p, C c) { p.trigger.Count(c, T::kTrigger); }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#]:COUNt"), [](P p, C c) { p.trigger.Count(c, T::kArm); }},
      {HeaderPattern(":TRIGger[:SEQuence#]:DELay"), [](P p, C c) { p.trigger.Delay(c); }},
      {HeaderPattern(":TRIGger[:SEQuence#]:SOURce"), [](P p, C c) { p.trigger.TriggerSource(c); }},
      {HeaderPattern(":TRIGger[:SEQuence#][:TCONfigure]:DIRection"),
       [](P p, C c) { p.trigger.Direction(c, T::kTrigger); }},
      {HeaderPattern(":TRIGger[:SEQuence#][:TCONfigure]:ILINe"), [](P p, C c) { p.trigger.Line(c, T::kTriggerInput); }},
      {HeaderPattern(":TRIGger[:SEQuence#][:TCONfigure]:OLINe"),
       [](P p, C c) { p.trigger.Line(c, T::kTriggerOutput); }},
      {HeaderPattern(":TRIGger[:SEQuence#][:TCONfigure][:ASYNchronous]:OUTPut"),
       [](P p, C c) { p.trigger.Events(c, T::kTriggerOutputEvents); }},
      {HeaderPattern(":TRIGger[:SEQuence#][:TCONfigure][:ASYNchronous]:INPut"),
       [](P p, C c) { p.trigger.Events(c, T::kTriggerInputEvents); }},
      // No Trigger Link: no pending input trigger to clear.
      {HeaderPattern(":TRIGger:CLEar"), [](P, C c) { c.Command(); }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#]:SOURce"), [](P p, C c) { p.trigger.ArmSource(c); }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#]:TIMer"), [](P p, C c) { p.trigger.ArmTimer(c); }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#][:TCONfigure]:DIRection"),
       [](P p, C c) { p.trigger.Direction(c, T::kArm); }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#][:TCONfigure]:ILINe"), [](P p, C c) { p.trigger.Line(c, T::kArmInput); }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#][:TCONfigure]:OLINe"),
       [](P p, C c) { p.trigger.Line(c, T::kArmOutput); }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#][:TCONfigure]:OUTPut"),
       [](P p, C c) { p.trigger.Events(c, T::kArmOutputEvents); }},
      {HeaderPattern(":SYSTem:ERRor[:NEXT]"),
       [](P p, C c) {
         if (c.Query()) c.Respond(p.errors.Take(false, false));
       }},
      {HeaderPattern(":SYSTem:ERRor:ALL"),
       [](P p, C c) {
         if (c.Query()) c.Respond(p.errors.Take(true, false));
       }},
      {HeaderPattern(":SYSTem:ERRor:COUNt"),
       [](P p, C c) {
         if (c.Query()) c.Respond(Whole(static_cast<long>(p.errors.Count())));
       }},
      {HeaderPattern(":SYSTem:ERRor:CODE[:NEXT]"),
       [](P p, C c) {
         if (c.Query()) c.Respond(p.errors.Take(false, true));
       }},
      {HeaderPattern(":SYSTem:ERRor:CODE:ALL"),
       [](P p, C c) {
         if (c.Query()) c.Respond(p.errors.Take(true, true));
       }},
      {HeaderPattern(":STATus:QUEue[:NEXT]"),
       [](P p, C c) {
         if (c.Query()) c.Respond(p.errors.Take(false, false));
       }},
      {HeaderPattern(":STATus:QUEue:CLEar"),
       [](P p, C c) {
         if (c.Command()) p.errors.Clear();
       }},
      {HeaderPattern(":STATus:PRESet"), [](P, C c) { c.Command(); }},
      {HeaderPattern(":SYSTem:PRESet"),
       [](P p, C c) {
         if (c.Command()) p.Reset();
       }},
      {HeaderPattern(":SYSTem:BEEPer:STATe"), [](P p, C c) { p.system.Beeper(c); }},
      {HeaderPattern(":SYSTem:BEEPer[:IMMediate]"), [](P p, C c) { p.system.Beep(c); }},
      {HeaderPattern(":DISPlay:ENABle"), [](P p, C c) { p.system.Display(c); }},
      {HeaderPattern(":SYSTem:AZERo[:STATe]"), [](P p, C c) { p.system.AutoZero(c); }},
      {HeaderPattern(":SYSTem:LFRequency"), [](P p, C c) { p.system.LineFrequency(c); }},
      {HeaderPattern(":SYSTem:LFRequency:AUTO"), [](P p, C c) { p.system.LineFrequencyAuto(c); }},
      {HeaderPattern(":SYSTem:RSENse"), [](P p, C c) { p.system.RemoteSense(c); }},
      {HeaderPattern(":SYSTem:TIME:RESet"),
       [](P p, C c) {
         if (c.Command()) p.readings.ResetTime(c.Now());
       }},
      {HeaderPattern(":SYSTem:LOCal"), [](P, C c) { c.Command(); }},
      {HeaderPattern(":SYSTem:REMote"), [](P, C c) { c.Command(); }},
      {HeaderPattern(":SYSTem:RWLock"), [](P, C c) { c.Command(); }},
      {HeaderPattern(":SYSTem:RS232:TERMinator"), [](P p, C c) { p.system.Terminator(c); }},
      {HeaderPattern(":ROUTe:TERMinals"), [](P p, C c) { p.system.Terminals(c); }},
  };
  return routes;
}

void Run(InstrumentParts& parts, const ScpiUnit& unit, ScpiCall& call) {
  bool badSuffix = false;
  for (const Route& route : Routes()) {
    const HeaderMatch match = route.pattern.Match(unit.nodes);
    if (match == HeaderMatch::kYes) {
      route.serve(parts, call);
      return;
    }
    badSuffix = badSuffix || match == HeaderMatch::kBadSuffix;
  }
  call.Error(badSuffix ? -114 : -113);
}

}  // namespace

void InstrumentParts::Reset() {
  source.Reset();
  sense.Reset();
  system.Reset();
  trigger.Reset();
  readings.Reset();
}

void InstrumentParts::Configure(ScpiCall& call, int function, bool measure) {
  if (!measure && call.IsQuery()) {
    if (function < 0 && call.NoParams()) call.Respond(sense.FunctionList());
    if (function >= 0) call.Error(-113);
    return;
  }
  if (measure != call.IsQuery()) {
    call.Error(-113);
    return;
  }
  if (!call.NoParams()) return;
  if (function >= 0) sense.MeasureOnly(static_cast<SenseSettings::Function>(function));
  trigger.OneImmediateReading();
  source.SetOutput(true);
  if (measure) readings.Measure(call, Setup());
}

ModelAnswer InstrumentModel::Execute(const std::string& line, double nowSeconds) {
  LineAnswer answered;
  answered.now = nowSeconds;
  for (const ScpiUnit& unit : ReadProgramMessage(line)) {
    if (unit.error != 0) {
      parts_.errors.Push(unit.error);
      break;
    }
    ScpiCall call(unit, answered, parts_.errors);
    if (unit.common) {
      RunCommon(call, unit.commonName);
    } else {
      Run(parts_, unit, call);
    }
    if (answered.hangUp || answered.stop) break;
  }
  ModelAnswer answer;
  answer.delayMs = answered.delayMs;
  answer.pauseAfter = answered.pauseAfter;
  if (answered.hangUp) {
    answer.text = answered.partial;
    answer.hangUp = true;
    return answer;
  }
  if (answered.replies.empty()) return ModelAnswer{};
  for (std::size_t i = 0; i < answered.replies.size(); ++i) {
    if (i > 0) answer.text += ';';
    answer.text += answered.replies[i];
  }
  answer.text += parts_.system.ReplyEnd();
  return answer;
}

// The IEEE 488.2 common commands: "*IDN?", "*RST", "*OPC?" and the status
// registers.
void InstrumentModel::RunCommon(ScpiCall& call, const std::string& name) {
  const bool query = call.IsQuery();
  if (name == "IDN" && query) {
    if (call.NoParams()) call.Respond(kIdentification);
  } else if (name == "RST" && !query) {
    if (call.NoParams()) Reset();
  } else if (name == "CLS" && !query) {
    if (call.NoParams()) parts_.errors.ClearStatus();
  } else if (name == "OPC") {
    if (!call.NoParams()) return;
    if (query) {
      parts_.readings.AnswerWhenDone(call);
    } else {
      parts_.errors.OperationComplete();
    }
  } else if (name == "WAI" && !query) {
    call.NoParams();
  } else if (name == "ESR" && query) {
    if (call.NoParams()) call.Respond(Whole(parts_.errors.TakeEventStatus()));
  } else if ((name == "ESE" || name == "SRE") && query) {
    if (call.NoParams()) {
      call.Respond(Whole(name == "ESE" ? parts_.errors.EventEnable() : parts_.errors.ServiceEnable()));
    }
  } else if (name == "ESE" || name == "SRE") {
    double value = 0.0;
    if (!call.Number(0, 255, 0, value)) return;
    if (name == "ESE") {
      parts_.errors.SetEventEnable(static_cast<int>(value));
    } else {
      parts_.errors.SetServiceEnable(static_cast<int>(value));
    }
  } else if (name == "STB" && query) {
    if (call.NoParams()) call.Respond(Whole(parts_.errors.StatusByte()));
  } else if (name == "TST" && query) {
    if (call.NoParams()) call.Respond("0");
  } else if (name == "TRG" && !query) {
    parts_.readings.BusTrigger(call, parts_.Setup());
  } else {
    call.Error(-113);
  }
}
