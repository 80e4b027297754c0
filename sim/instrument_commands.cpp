// The SourceMeter's command headers and what runs each one.
#include <cmath>

#include "sim/instrument_model.h"
#include "sim/instrument_numbers.h"

using namespace instrument;

const std::vector<InstrumentModel::Command>& InstrumentModel::Commands() {
  using M = InstrumentModel;
  using U = const ScpiUnit&;
  using C = Context&;
  static const std::vector<Command> commands = {
      {HeaderPattern(":OUTPut#[:STATe]"), [](M& m, U u, C c) { m.Output(u, c); }},
      {HeaderPattern(":SOURce#:FUNCtion[:MODE]"), [](M& m, U u, C c) { m.SourceFunction(u, c); }},
      {HeaderPattern(":SOURce#:VOLTage[:LEVel][:IMMediate][:AMPLitude]"),
       [](M& m, U u, C c) { m.SourceLevel(u, c, false); }},
      {HeaderPattern(":SOURce#:CURRent[:LEVel][:IMMediate][:AMPLitude]"),
       [](M& m, U u, C c) { m.SourceLevel(u, c, true); }},
      {HeaderPattern(":SOURce#:VOLTage:RANGe"), [](M& m, U u, C c) { m.SourceRange(u, c, false); }},
      {HeaderPattern(":SOURce#:CURRent:RANGe"), [](M& m, U u, C c) { m.SourceRange(u, c, true); }},
      {HeaderPattern(":SOURce#:VOLTage:RANGe:AUTO"), [](M& m, U u, C c) { m.SourceRangeAuto(u, c, false); }},
      {HeaderPattern(":SOURce#:CURRent:RANGe:AUTO"), [](M& m, U u, C c) { m.SourceRangeAuto(u, c, true); }},
      {HeaderPattern(":SOURce#:CLEar[:IMMediate]"),
       [](M& m, U u, C) {
         if (!u.query && m.NoParams(u)) m.outputOn_ = false;
         if (u.query) m.QueueError(-113);
       }},
      {HeaderPattern(":SOURce#:CLEar:AUTO"), [](M& m, U u, C c) { m.BooleanSetting(u, c, m.autoOutputOff_); }},
      {HeaderPattern(":SOURce#:DELay"),
       [](M& m, U u, C c) {
         m.NumberSetting(u, c, m.sourceDelay_, 0, kMaxDelaySeconds, 0);
         if (!u.query) m.sourceDelayAuto_ = false;
       }},
      {HeaderPattern(":SOURce#:DELay:AUTO"), [](M& m, U u, C c) { m.BooleanSetting(u, c, m.sourceDelayAuto_); }},
      {HeaderPattern("[:SENSe#]:FUNCtion[:ON]"), [](M& m, U u, C c) { m.SenseFunctions(u, c, true); }},
      {HeaderPattern("[:SENSe#]:FUNCtion:OFF"), [](M& m, U u, C c) { m.SenseFunctions(u, c, false); }},
      {HeaderPattern("[:SENSe#]:FUNCtion[:ON]:ALL"), [](M& m, U u, C) { m.SenseAll(u, true); }},
      {HeaderPattern("[:SENSe#]:FUNCtion:OFF:ALL"), [](M& m, U u, C) { m.SenseAll(u, false); }},
      {HeaderPattern("[:SENSe#]:FUNCtion:CONCurrent"),
       [](M& m, U u, C c) {
         m.BooleanSetting(u, c, m.concurrent_);
         if (!m.concurrent_ && (int{m.senseVolts_} + m.senseAmps_ + m.senseOhms_) > 1) {
           m.senseOhms_ = m.senseOhms_ && !m.senseAmps_ && !m.senseVolts_;
           m.senseVolts_ = m.senseVolts_ && !m.senseAmps_;  // one function stays on
         }
       }},
      {HeaderPattern("[:SENSe#]:CURRent[:DC]:PROTection[:LEVel]"), [](M& m, U u, C c) { m.Compliance(u, c, true); }},
      {HeaderPattern("[:SENSe#]:VOLTage[:DC]:PROTection[:LEVel]"), [](M& m, U u, C c) { m.Compliance(u, c, false); }},
      {HeaderPattern("[:SENSe#]:CURRent[:DC]:NPLCycles"),
       [](M& m, U u, C c) { m.NumberSetting(u, c, m.nplc_, 0.01, 10, 1); }},
      {HeaderPattern("[:SENSe#]:VOLTage[:DC]:NPLCycles"),
       [](M& m, U u, C c) { m.NumberSetting(u, c, m.nplc_, 0.01, 10, 1); }},
      {HeaderPattern("[:SENSe#]:RESistance:NPLCycles"),
       [](M& m, U u, C c) { m.NumberSetting(u, c, m.nplc_, 0.01, 10, 1); }},
      {HeaderPattern("[:SENSe#]:CURRent[:DC]:RANGe[:UPPer]"), [](M& m, U u, C c) { m.SenseRange(u, c, true); }},
      {HeaderPattern("[:SENSe#]:VOLTage[:DC]:RANGe[:UPPer]"), [](M& m, U u, C c) { m.SenseRange(u, c, false); }},
      {HeaderPattern("[:SENSe#]:CURRent[:DC]:RANGe:AUTO"),
       [](M& m, U u, C c) { m.BooleanSetting(u, c, m.senseAmpAuto_); }},
      {HeaderPattern("[:SENSe#]:VOLTage[:DC]:RANGe:AUTO"),
       [](M& m, U u, C c) { m.BooleanSetting(u, c, m.senseVoltAuto_); }},
      {HeaderPattern("[:SENSe#]:RESistance:MODE"),
       [](M& m, U u, C c) { m.ChoiceSetting(u, c, {"MANual", "AUTO"}, {"MAN", "AUTO"}, m.ohmsMode_); }},
      {HeaderPattern("[:SENSe#]:AVERage[:STATe]"), [](M& m, U u, C c) { m.BooleanSetting(u, c, m.filter_); }},
      {HeaderPattern("[:SENSe#]:AVERage:TCONtrol"),
       [](M& m, U u, C c) { m.ChoiceSetting(u, c, {"REPeat", "MOVing"}, {"REP", "MOV"}, m.filterMoving_); }},
      {HeaderPattern("[:SENSe#]:AVERage:COUNt"),
       [](M& m, U u, C c) {
         if (u.query) {
           m.NumberQuery(u, c, m.filterCount_, 1, 100, 10);
           return;
         }
         double count = 0.0;
         if (m.Number(u, 1, 100, 10, count)) m.filterCount_ = std::round(count);
       }},
      {HeaderPattern(":OUTPut#:SMODe"),
       [](M& m, U u, C c) {
         m.ChoiceSetting(u, c, {"HIMPedance", "NORMal", "ZERO", "GUARd"}, {"HIMP", "NORM", "ZERO", "GUAR"},
                         m.outputOffState_);
       }},
      {HeaderPattern(":FORMat:ELEMents[:SENSe#]"), [](M& m, U u, C c) { m.Elements(u, c); }},
      {HeaderPattern(":FORMat[:DATA]"),
       [](M& m, U u, C c) {
         std::size_t ascii = 0;
         m.ChoiceSetting(u, c, {"ASCii"}, {"ASC"}, ascii);
       }},
      {HeaderPattern(":READ"), [](M& m, U u, C c) { m.Read(u, c); }},
      {HeaderPattern(":INITiate[:IMMediate]"), [](M& m, U u, C c) { m.Initiate(u, c); }},
      {HeaderPattern(":FETCh"), [](M& m, U u, C c) { m.Fetch(u, c); }},
      {HeaderPattern(":MEASure"), [](M& m, U u, C c) { m.Configure(u, c, -1, true); }},
      {HeaderPattern(":MEASure:VOLTage[:DC]"), [](M& m, U u, C c) { m.Configure(u, c, 0, true); }},
      {HeaderPattern(":MEASure:CURRent[:DC]"), [](M& m, U u, C c) { m.Configure(u, c, 1, true); }},
      {HeaderPattern(":MEASure:RESistance"), [](M& m, U u, C c) { m.Configure(u, c, 2, true); }},
      {HeaderPattern(":CONFigure"), [](M& m, U u, C c) { m.Configure(u, c, -1, false); }},
      {HeaderPattern(":CONFigure:VOLTage[:DC]"), [](M& m, U u, C c) { m.Configure(u, c, 0, false); }},
      {HeaderPattern(":CONFigure:CURRent[:DC]"), [](M& m, U u, C c) { m.Configure(u, c, 1, false); }},
      {HeaderPattern(":CONFigure:RESistance"), [](M& m, U u, C c) { m.Configure(u, c, 2, false); }},
      {HeaderPattern(":ABORt"),
       [](M& m, U u, C) {
         if (u.query) m.QueueError(-113);
         else if (m.NoParams(u)) {
           m.busyUntil_ = 0.0;
           m.armed_ = false;
         }
       }},
      {HeaderPattern(":TRIGger[:SEQuence#]:COUNt"), [](M& m, U u, C c) { m.Count(u, c, false); }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#]:COUNt"), [](M& m, U u, C c) { m.Count(u, c, true); }},
      {HeaderPattern(":TRIGger[:SEQuence#]:DELay"),
       [](M& m, U u, C c) { m.NumberSetting(u, c, m.trigger_.triggerDelaySeconds, 0, kMaxDelaySeconds, 0); }},
      {HeaderPattern(":TRIGger[:SEQuence#]:SOURce"),
       [](M& m, U u, C c) {
         m.ChoiceSetting(u, c, {"IMMediate", "TLINk"}, {"IMM", "TLIN"}, m.trigger_.triggerSource);
       }},
      {HeaderPattern(":TRIGger[:SEQuence#][:TCONfigure]:DIRection"),
       [](M& m, U u, C c) {
         m.ChoiceSetting(u, c, {"SOURce", "ACCeptor"}, {"SOUR", "ACC"}, m.trigger_.triggerDirection);
       }},
      {HeaderPattern(":TRIGger[:SEQuence#][:TCONfigure]:ILINe"),
       [](M& m, U u, C c) { m.TriggerLine(u, c, m.trigger_.triggerInputLine); }},
      {HeaderPattern(":TRIGger[:SEQuence#][:TCONfigure]:OLINe"),
       [](M& m, U u, C c) { m.TriggerLine(u, c, m.trigger_.triggerOutputLine); }},
      {HeaderPattern(":TRIGger[:SEQuence#][:TCONfigure][:ASYNchronous]:OUTPut"),
       [](M& m, U u, C c) {
         m.TriggerEvents(u, c, {"SOURce", "DELay", "SENSe"}, {"SOUR", "DEL", "SENS"}, m.trigger_.triggerOutputEvents);
       }},
      {HeaderPattern(":TRIGger[:SEQuence#][:TCONfigure][:ASYNchronous]:INPut"),
       [](M& m, U u, C c) {
         m.TriggerEvents(u, c, {"SOURce", "DELay", "SENSe"}, {"SOUR", "DEL", "SENS"}, m.trigger_.triggerInputEvents);
       }},
      {HeaderPattern(":TRIGger:CLEar"),
       [](M& m, U u, C) {
         if (u.query) m.QueueError(-113);
         else m.NoParams(u);  // no Trigger Link: no pending input trigger to clear
       }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#]:SOURce"),
       [](M& m, U u, C c) {
         m.ChoiceSetting(u, c, {"IMMediate", "TIMer", "MANual", "BUS", "TLINk", "NSTest", "PSTest", "BSTest"},
                         {"IMM", "TIM", "MAN", "BUS", "TLIN", "NST", "PST", "BST"}, m.trigger_.armSource);
       }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#]:TIMer"),
       [](M& m, U u, C c) {
         m.NumberSetting(u, c, m.trigger_.armTimerSeconds, kMinArmTimerSeconds, kMaxArmTimerSeconds, 0.1);
       }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#][:TCONfigure]:DIRection"),
       [](M& m, U u, C c) {
         m.ChoiceSetting(u, c, {"SOURce", "ACCeptor"}, {"SOUR", "ACC"}, m.trigger_.armDirection);
       }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#][:TCONfigure]:ILINe"),
       [](M& m, U u, C c) { m.TriggerLine(u, c, m.trigger_.armInputLine); }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#][:TCONfigure]:OLINe"),
       [](M& m, U u, C c) { m.TriggerLine(u, c, m.trigger_.armOutputLine); }},
      {HeaderPattern(":ARM[:SEQuence#][:LAYer#][:TCONfigure]:OUTPut"),
       [](M& m, U u, C c) { m.TriggerEvents(u, c, {"TENTer", "TEXit"}, {"TENT", "TEX"}, m.trigger_.armOutputEvents); }},
      {HeaderPattern(":SYSTem:ERRor[:NEXT]"), [](M& m, U u, C c) { m.ErrorQueries(u, c, false, false, false); }},
      {HeaderPattern(":SYSTem:ERRor:ALL"), [](M& m, U u, C c) { m.ErrorQueries(u, c, true, false, false); }},
      {HeaderPattern(":SYSTem:ERRor:COUNt"), [](M& m, U u, C c) { m.ErrorQueries(u, c, false, true, false); }},
      {HeaderPattern(":SYSTem:ERRor:CODE[:NEXT]"), [](M& m, U u, C c) { m.ErrorQueries(u, c, false, false, true); }},
      {HeaderPattern(":SYSTem:ERRor:CODE:ALL"), [](M& m, U u, C c) { m.ErrorQueries(u, c, true, false, true); }},
      {HeaderPattern(":STATus:QUEue[:NEXT]"), [](M& m, U u, C c) { m.ErrorQueries(u, c, false, false, false); }},
      {HeaderPattern(":STATus:QUEue:CLEar"),
       [](M& m, U u, C) {
         if (u.query) {
           m.QueueError(-113);
         } else if (m.NoParams(u)) {
           m.errors_.clear();
           m.errorCodes_.clear();
         }
       }},
      {HeaderPattern(":STATus:PRESet"),
       [](M& m, U u, C) {
         if (u.query) m.QueueError(-113);
         else m.NoParams(u);
       }},
      {HeaderPattern(":SYSTem:PRESet"),
       [](M& m, U u, C) {
         if (u.query) m.QueueError(-113);
         else if (m.NoParams(u)) m.Reset();
       }},
      {HeaderPattern(":SYSTem:BEEPer:STATe"), [](M& m, U u, C c) { m.BooleanSetting(u, c, m.beeper_); }},
      {HeaderPattern(":SYSTem:BEEPer[:IMMediate]"),
       [](M& m, U u, C) {
         double number = 0.0;
         if (u.query) m.QueueError(-113);
         else if (u.params.size() < 2) m.QueueError(-109);
         else if (u.params.size() > 2) m.QueueError(-108);
         else if (!ParseDecimal(u.params[0], number) || !ParseDecimal(u.params[1], number)) m.QueueError(-104);
       }},
      {HeaderPattern(":DISPlay:ENABle"), [](M& m, U u, C c) { m.BooleanSetting(u, c, m.display_); }},
      {HeaderPattern(":SYSTem:AZERo[:STATe]"), [](M& m, U u, C c) { m.AutoZeroSetting(u, c); }},
      {HeaderPattern(":SYSTem:LFRequency"),
       [](M& m, U u, C c) {
         if (u.query) {
           if (m.NoParams(u)) c.Respond(Whole(std::lround(m.lineHz_)));
           return;
         }
         double hz = 0.0;
         if (!m.Number(u, 50, 60, 60, hz)) return;
         if (hz != 50 && hz != 60) {
           m.QueueError(-224);
         } else {
           m.lineHz_ = hz;
           m.lineHzAuto_ = false;  // a frequency set by hand ends the detection
         }
       }},
      {HeaderPattern(":SYSTem:LFRequency:AUTO"), [](M& m, U u, C c) { m.BooleanSetting(u, c, m.lineHzAuto_); }},
      {HeaderPattern(":SYSTem:RSENse"), [](M& m, U u, C c) { m.BooleanSetting(u, c, m.remoteSense_); }},
      {HeaderPattern(":SYSTem:TIME:RESet"),
       [](M& m, U u, C c) {
         if (u.query) m.QueueError(-113);
         else if (m.NoParams(u)) m.timeZero_ = c.now;
       }},
      {HeaderPattern(":SYSTem:LOCal"), [](M& m, U u, C) { u.query ? m.QueueError(-113) : void(m.NoParams(u)); }},
      {HeaderPattern(":SYSTem:REMote"), [](M& m, U u, C) { u.query ? m.QueueError(-113) : void(m.NoParams(u)); }},
      {HeaderPattern(":SYSTem:RWLock"), [](M& m, U u, C) { u.query ? m.QueueError(-113) : void(m.NoParams(u)); }},
      {HeaderPattern(":SYSTem:RS232:TERMinator"), [](M& m, U u, C c) { m.Terminator(u, c); }},
      {HeaderPattern(":ROUTe:TERMinals"),
       [](M& m, U u, C c) { m.ChoiceSetting(u, c, {"FRONt", "REAR"}, {"FRON", "REAR"}, m.terminals_); }},
  };
  return commands;
}

