// The instrument's command interpreter, without a terminal.
#include "sim/instrument_model.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Reading {
  int fields = 0;
  double volts = 0, amps = 0, resistance = 0, seconds = 0, status = 0;
};

Reading Parse(const std::string& text) {
  Reading r;
  r.fields = std::sscanf(text.c_str(), "%lf,%lf,%lf,%lf,%lf", &r.volts, &r.amps, &r.resistance, &r.seconds, &r.status);
  return r;
}

std::string PopError(InstrumentModel& model) { return model.Execute(":SYST:ERR?", 0).text; }

InstrumentModel Sourcing(const SimOptions& options, const char* volts) {
  InstrumentModel model(options);
  model.Execute("*RST", 0);
  model.Execute(":OUTP ON", 0);
  model.Execute(std::string(":SOUR:VOLT ") + volts, 0);
  return model;
}

TEST(InstrumentModelTest, StartsInTheResetStateAndIdentifiesItself) {
  InstrumentModel model(SimOptions{});
  EXPECT_FALSE(model.OutputOn());
  EXPECT_EQ(model.SourceVolts(), 0.0);
  EXPECT_DOUBLE_EQ(model.ComplianceA(), 105e-6);
  const ModelAnswer idn = model.Execute("*IDN?", 0);
  EXPECT_NE(idn.text.find("KEITHLEY INSTRUMENTS INC.,MODEL 2400,"), std::string::npos);
  EXPECT_EQ(idn.text.back(), '\r');
  EXPECT_EQ(idn.text.find('\r'), idn.text.size() - 1);
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");
}

TEST(InstrumentModelTest, ReadingHasFiveFieldsInTheInstrumentFormat) {
  InstrumentModel model = Sourcing(SimOptions{}, "0.50000");
  const ModelAnswer answer = model.Execute(":READ?", 12.345678);
  EXPECT_EQ(answer.text, "+5.000000E-01,+5.000000E-07,+9.910000E+37,+1.234568E+01,+2.150800E+04\r");
  // At the reset settings on 50 Hz: three conversions of 20 + 0.185 ms, 1.5 ms firmware, rounded up.
  EXPECT_EQ(answer.delayMs, 63);
  EXPECT_FALSE(answer.hangUp);
  EXPECT_EQ(model.ReadRequests(), 1);

  model.Execute(":SOUR:VOLT -10.00000", 0);
  const std::regex shape(R"(([+-]\d\.\d{6}E[+-]\d{2},){4}[+-]\d\.\d{6}E[+-]\d{2}\r)");
  const std::string negative = model.Execute(":READ?", 0.5).text;
  EXPECT_TRUE(std::regex_match(negative, shape)) << negative;
  const Reading r = Parse(negative);
  ASSERT_EQ(r.fields, 5);
  EXPECT_DOUBLE_EQ(r.volts, -10.0);
  EXPECT_DOUBLE_EQ(r.amps, -1e-5);
  EXPECT_DOUBLE_EQ(r.seconds, 0.5);
}

TEST(InstrumentModelTest, CurrentIsClampedAtTheCompliance) {
  InstrumentModel model = Sourcing(SimOptions{}, "200");  // 200 uA into 1 MOhm
  Reading r = Parse(model.Execute(":READ?", 0).text);
  EXPECT_DOUBLE_EQ(r.amps, 105e-6);
  EXPECT_DOUBLE_EQ(r.status, 21508 + 8);

  model.Execute(":SOUR:VOLT -200", 0);
  r = Parse(model.Execute(":READ?", 0).text);
  EXPECT_DOUBLE_EQ(r.amps, -105e-6);
  EXPECT_DOUBLE_EQ(r.status, 21516);

  model.Execute(":SENS:CURR:PROT 1e-3", 0);
  EXPECT_DOUBLE_EQ(model.ComplianceA(), 1e-3);
  r = Parse(model.Execute(":READ?", 0).text);
  EXPECT_DOUBLE_EQ(r.amps, -2e-4);
  EXPECT_DOUBLE_EQ(r.status, 21508);
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");
}

TEST(InstrumentModelTest, DiodeConductsForwardAndBlocksReverse) {
  SimOptions diode;
  diode.diode = true;
  InstrumentModel model(diode);
  EXPECT_NEAR(model.DeviceCurrent(-5.0), -1e-12, 1e-15);
  EXPECT_EQ(model.DeviceCurrent(0.0), 0.0);
  const double at04 = model.DeviceCurrent(0.4);
  const double at05 = model.DeviceCurrent(0.5);
  EXPECT_GT(at04, 1e-9);
  EXPECT_GT(at05, 10 * at04);
  // Far forward the exponential overflows; the reading still clamps cleanly.
  InstrumentModel hard = Sourcing(diode, "200");
  const Reading r = Parse(hard.Execute(":READ?", 0).text);
  EXPECT_DOUBLE_EQ(r.amps, 105e-6);
  EXPECT_DOUBLE_EQ(r.status, 21516);
}

TEST(InstrumentModelTest, NoiseIsGaussianAroundTheValueAndRepeatableBySeed) {
  SimOptions noisy;
  noisy.noise = 1e-8;
  noisy.seed = 42;
  InstrumentModel a = Sourcing(noisy, "1");
  InstrumentModel b = Sourcing(noisy, "1");
  double sum = 0, sumSquares = 0;
  const int n = 2000;
  for (int i = 0; i < n; ++i) {
    const Reading ra = Parse(a.Execute(":READ?", 0).text);
    const Reading rb = Parse(b.Execute(":READ?", 0).text);
    ASSERT_EQ(ra.amps, rb.amps);
    const double deviation = ra.amps - 1e-6;
    sum += deviation;
    sumSquares += deviation * deviation;
  }
  EXPECT_NEAR(sum / n, 0.0, 1e-9);
  EXPECT_NEAR(std::sqrt(sumSquares / n), 1e-8, 1e-9);
}

TEST(InstrumentModelTest, ErrorsQueueInOrderAndOnlyClsClearsThem) {
  InstrumentModel model(SimOptions{});
  EXPECT_TRUE(model.Execute(":READ?", 0).text.empty());  // output off: no answer
  EXPECT_TRUE(model.Execute(":BOGUS 1", 0).text.empty());
  EXPECT_TRUE(model.Execute(":SOUR:BOGUS?", 0).text.empty());
  EXPECT_EQ(PopError(model), "+803,\"Not permitted with OUTPUT off\"\r");
  EXPECT_EQ(PopError(model), "-113,\"Undefined header\"\r");
  EXPECT_EQ(PopError(model), "-113,\"Undefined header\"\r");
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");

  for (int i = 0; i < 12; ++i) model.Execute("NOPE", 0);
  ASSERT_EQ(model.ErrorQueue().size(), ErrorQueue::kSize);
  EXPECT_EQ(model.ErrorQueue().back(), "-350,\"Queue overflow\"");
  EXPECT_EQ(model.Execute(":SYST:ERR:COUN?", 0).text, "10\r");
  EXPECT_EQ(model.Execute("*STB?", 0).text, "4\r");  // error available

  model.Execute(":OUTP ON", 0);
  model.Execute(":SOUR:VOLT 3", 0);
  model.Execute(":SENS:CURR:PROT 0.01", 0);
  model.Execute("*RST", 0);
  EXPECT_FALSE(model.OutputOn());
  EXPECT_EQ(model.SourceVolts(), 0.0);
  EXPECT_DOUBLE_EQ(model.ComplianceA(), 105e-6);
  EXPECT_EQ(model.ErrorQueue().size(), ErrorQueue::kSize);  // *RST leaves the queue
  model.Execute("*CLS", 0);
  EXPECT_TRUE(model.ErrorQueue().empty());
  EXPECT_EQ(model.Execute("*ESR?;*STB?", 0).text, "0;0\r");
}

// Each part of the instrument returns to its reset state, while what the
// instrument keeps in its power-on setup survives: line frequency, beeper,
// terminator, the status enables, the time stamp zero and the read count.
TEST(InstrumentModelTest, ResetRestoresEveryPartButKeepsThePowerOnSetup) {
  for (const char* reset : {"*RST", ":SYST:PRES"}) {
    InstrumentModel model(SimOptions{});
    model.Execute(":SOUR:FUNC CURR;:SOUR:DEL 0.2;:SOUR:CLE:AUTO ON;:OUTP:SMOD ZERO;:OUTP ON", 0);
    model.Execute(":SENS:CURR:NPLC 5;:SENS:FUNC:CONC OFF;:SENS:FUNC 'VOLT';:SENS:AVER ON;:SENS:VOLT:PROT 3", 0);
    model.Execute(":SENS:RES:MODE MAN;:SYST:AZER OFF;:DISP:ENAB OFF;:SYST:RSEN ON;:ROUT:TERM REAR", 0);
    model.Execute(":SYST:LFR 60;:SYST:BEEP:STAT OFF;*ESE 36;:TRIG:COUN 3;:TRIG:DEL 0.1;:ARM:SOUR TIM", 0);
    model.Execute(":FORM:ELEM CURR;:SYST:TIME:RES", 5.0);
    ASSERT_FALSE(model.Execute(":READ?", 5.0).text.empty());
    model.Execute(":SYST:RS232:TERM LF", 5.0);

    model.Execute(reset, 6.0);
    EXPECT_EQ(model.Execute(":SOUR:FUNC?;:SOUR:DEL:AUTO?;:SOUR:CLE:AUTO?;:OUTP:SMOD?;:OUTP?", 6.0).text,
              "VOLT;1;0;NORM;0\n")
        << reset;
    EXPECT_EQ(model
                  .Execute(":SENS:CURR:NPLC?;:SENS:FUNC:CONC?;:SENS:FUNC?;:SENS:AVER?;:SENS:VOLT:PROT?;"
                           ":SENS:RES:MODE?",
                           6.0)
                  .text,
              "+1.000000E+00;1;\"CURR:DC\";0;+2.100000E+01;AUTO\n")
        << reset;
    EXPECT_EQ(model
                  .Execute(":SYST:AZER?;:DISP:ENAB?;:SYST:RSEN?;:ROUT:TERM?;:TRIG:COUN?;:TRIG:DEL?;:ARM:SOUR?;"
                           ":FORM:ELEM?",
                           6.0)
                  .text,
              "1;1;0;FRON;1;+0.000000E+00;IMM;VOLT,CURR,RES,TIME,STAT\n")
        << reset;
    EXPECT_EQ(model.Execute(":SYST:LFR?;:SYST:LFR:AUTO?;:SYST:BEEP:STAT?;*ESE?", 6.0).text, "60;0;0;36\n") << reset;
    EXPECT_TRUE(model.Execute(":FETC?", 6.0).text.empty()) << reset;  // the readings went with the reset
    EXPECT_EQ(model.Execute(":SYST:ERR:CODE:ALL?", 6.0).text, "-230\n") << reset;
    EXPECT_EQ(model.Execute(":OUTP ON;:FORM:ELEM TIME;:READ?", 7.0).text, "+2.000000E+00\n") << reset;
    EXPECT_EQ(model.ReadRequests(), 2) << reset;
  }
}

// Each class of error sets its own bit of the event status register, which
// *ESR? clears; the status byte shows a queued error (4) and an enabled event
// (32), and asks for service (64) once that is enabled too.
TEST(InstrumentModelTest, ErrorsSetTheirEventBitsAndTheStatusByteFollowsTheEnables) {
  InstrumentModel model(SimOptions{});
  EXPECT_EQ(model.Execute("*ESR?", 0).text, "128\r");  // power on
  model.Execute(":BOGUS", 0);
  EXPECT_EQ(model.Execute("*ESR?", 0).text, "32\r");                 // command error
  EXPECT_EQ(model.Execute(":SOUR:VOLT 500;*ESR?", 0).text, "16\r");  // execution error
  model.Execute(":READ?", 0);
  EXPECT_EQ(model.Execute("*ESR?", 0).text, "8\r");  // device error: the output is off
  EXPECT_EQ(model.Execute("*OPC;*ESR?", 0).text, "1\r");
  EXPECT_EQ(model.Execute("*STB?", 0).text, "4\r");
  EXPECT_EQ(model.Execute(":BOGUS;*ESE 32;*STB?", 0).text, "36\r");
  EXPECT_EQ(model.Execute("*SRE 32;*STB?;*SRE?", 0).text, "100;32\r");
  EXPECT_EQ(model.Execute("*ESR?;*STB?", 0).text, "32;4\r");
  EXPECT_EQ(model.Execute(":SYST:ERR:CODE:ALL?;*STB?", 0).text, "-113,-222,803,-113;0\r");
}

TEST(InstrumentModelTest, SettingsAndQueriesAcceptTheLongAndShortForms) {
  InstrumentModel model(SimOptions{});
  EXPECT_EQ(model.Execute(":OUTP?", 0).text, "0\r");
  model.Execute(":outp on", 0);
  EXPECT_EQ(model.Execute(":OUTPut?", 0).text, "1\r");
  model.Execute("OUTPUT 0", 0);
  EXPECT_FALSE(model.OutputOn());
  model.Execute(":OUTP 1", 0);
  EXPECT_TRUE(model.OutputOn());
  model.Execute(":SOURce:VOLTage -0.00000", 0);
  EXPECT_EQ(model.Execute(":SOUR:VOLT?", 0).text, "-0.000000E+00\r");
  model.Execute(":sour:volt 2.5E-1", 0);
  EXPECT_EQ(model.Execute(":SOUR:VOLT?", 0).text, "+2.500000E-01\r");
  model.Execute(":SENSE:CURRENT:PROTECTION 2e-5", 0);
  EXPECT_EQ(model.Execute(":SENS:CURR:PROT?", 0).text, "+2.000000E-05\r");
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");
  // Something between the short and the long form is not a header.
  model.Execute(":OUTPU ON", 0);
  EXPECT_EQ(PopError(model), "-113,\"Undefined header\"\r");
}

TEST(InstrumentModelTest, BadParametersAreRefusedAndLeaveTheSettingAlone) {
  InstrumentModel model(SimOptions{});
  model.Execute(":SOUR:VOLT 1", 0);
  model.Execute(":SOUR:VOLT 500", 0);
  model.Execute(":SOUR:VOLT abc", 0);
  model.Execute(":SOUR:VOLT", 0);
  model.Execute(":SOUR:VOLT nan", 0);
  model.Execute(":SENS:CURR:PROT 0", 0);
  model.Execute(":OUTP MAYBE", 0);
  model.Execute(":OUTP? 1", 0);
  EXPECT_EQ(model.SourceVolts(), 1.0);
  EXPECT_DOUBLE_EQ(model.ComplianceA(), 105e-6);
  EXPECT_FALSE(model.OutputOn());
  EXPECT_EQ(PopError(model), "-222,\"Parameter data out of range\"\r");
  EXPECT_EQ(PopError(model), "-104,\"Data type error\"\r");
  EXPECT_EQ(PopError(model), "-109,\"Missing parameter\"\r");
  EXPECT_EQ(PopError(model), "-104,\"Data type error\"\r");
  EXPECT_EQ(PopError(model), "-222,\"Parameter data out of range\"\r");
  EXPECT_EQ(PopError(model), "-224,\"Illegal parameter value\"\r");
  EXPECT_EQ(PopError(model), "-108,\"Parameter not allowed\"\r");
  // Blank commands are ignored without an error.
  EXPECT_TRUE(model.Execute("", 0).text.empty());
  EXPECT_TRUE(model.Execute("  ", 0).text.empty());
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");
}

TEST(InstrumentModelTest, FaultModesShapeTheReadingReply) {
  SimOptions silent;
  silent.silent = true;
  InstrumentModel quiet = Sourcing(silent, "1");
  EXPECT_TRUE(quiet.Execute(":READ?", 0).text.empty());
  EXPECT_EQ(quiet.ReadRequests(), 1);
  EXPECT_EQ(quiet.Execute("*IDN?", 0).text.empty(), false);  // only readings go unanswered

  SimOptions garbage;
  garbage.garbage = true;
  const std::string noise = Sourcing(garbage, "1").Execute(":READ?", 0).text;
  EXPECT_EQ(noise.back(), '\r');
  EXPECT_EQ(noise.find_first_of("0123456789"), std::string::npos);

  SimOptions one;
  one.oneNumber = true;
  EXPECT_EQ(Sourcing(one, "0.5").Execute(":READ?", 0).text, "+5.000000E-01\r");

  SimOptions longer;
  longer.longReply = true;
  const std::string twice = Sourcing(longer, "0.5").Execute(":READ?", 3).text;
  EXPECT_GT(twice.size(), 100u);
  EXPECT_EQ(twice.find('\r'), twice.size() - 1);
  EXPECT_EQ(Parse(twice).fields, 5);

  SimOptions slow;
  slow.slowReplyMs = 700;
  EXPECT_EQ(Sourcing(slow, "1").Execute(":READ?", 0).delayMs, 763);

  SimOptions drop;
  drop.hangUpAfterReads = 1;
  InstrumentModel dropping = Sourcing(drop, "0.5");
  const ModelAnswer first = dropping.Execute(":READ?", 1);
  EXPECT_FALSE(first.hangUp);
  EXPECT_EQ(first.text.size(), 70u);
  const ModelAnswer second = dropping.Execute(":READ?", 1);
  EXPECT_TRUE(second.hangUp);
  EXPECT_EQ(second.text, first.text.substr(0, 35));
}

TEST(InstrumentModelTest, ProgramMessagesFollowThePathRuleAndJoinTheirReplies) {
  InstrumentModel model(SimOptions{});
  // A driver's reset line: several units, a common command after a colon, a ";" at the end.
  EXPECT_TRUE(model.Execute("status:queue:clear;*RST;:stat:pres;:*CLS;", 0).text.empty());
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");
  // Without a leading colon a header continues in the previous unit's subsystem.
  model.Execute(":SENS:CURR:PROT 2e-3;NPLC 10;:SOUR:VOLT:LEV 1.5;RANG:AUTO 0", 0);
  EXPECT_DOUBLE_EQ(model.ComplianceA(), 2e-3);
  EXPECT_DOUBLE_EQ(model.Nplc(), 10);
  EXPECT_DOUBLE_EQ(model.SourceVolts(), 1.5);
  EXPECT_EQ(model.Execute(":sour:volt:rang:auto?;*OPC?;:SENSe1:CURRent:DC:PROTection:LEVel?;:outp1?", 0).text,
            "0;1;+2.000000E-03;0\r");
  EXPECT_EQ(model.Execute(":SOUR:FUNC?;VOLT:RANG?;:CURR:NPLC?", 0).text, "VOLT;2.100000E+00;+1.000000E+01\r");
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");

  // Suffix 2 names another output or source on other models.
  EXPECT_TRUE(model.Execute(":OUTP2 ON", 0).text.empty());
  EXPECT_EQ(PopError(model), "-114,\"Header suffix out of range\"\r");
  // A relative header that does not exist in the subsystem.
  EXPECT_TRUE(model.Execute(":SOUR:VOLT 1;NPLC?", 0).text.empty());
  EXPECT_EQ(PopError(model), "-113,\"Undefined header\"\r");
  // After a command error the rest of the line is not run; queries before it still answer.
  EXPECT_EQ(model.Execute("*IDN?;:SOUR::VOLT 2;:SOUR:VOLT 3", 0).text.substr(0, 9), "KEITHLEY ");
  EXPECT_DOUBLE_EQ(model.SourceVolts(), 1.0);
  EXPECT_EQ(PopError(model), "-102,\"Syntax error\"\r");
  model.Execute(":SENS:FUNC 'VOLT", 0);
  model.Execute(":SOUR:VOLT 1 2", 0);
  model.Execute(":SOUR:VOLT 0x10", 0);
  model.Execute(":SOUR:VOLT:RANG:AUTO ON;:SOUR:VOLT MAX;:SOUR:VOLT? 1", 0);
  EXPECT_EQ(model.Execute(":SYST:ERR:ALL?", 0).text,
            "-102,\"Syntax error\",-102,\"Syntax error\",-104,\"Data type error\",-108,\"Parameter not allowed\"\r");
  EXPECT_DOUBLE_EQ(model.SourceVolts(), 210.0);
  EXPECT_EQ(model.Execute(":SYST:ERR:CODE?", 0).text, "0\r");
}

TEST(InstrumentModelTest, EverySettingReadsBackWhatWasSet) {
  InstrumentModel model(SimOptions{});
  const std::vector<std::array<const char*, 3>> settings = {
      {":SOUR:FUNC CURR", ":SOUR:FUNC?", "CURR"},
      {":SOUR:CURR:LEV -2.5e-3", ":SOUR:CURR?", "-2.500000E-03"},
      {":SOUR:CURR:RANG 0.05", ":SOUR:CURR:RANG?", "1.050000E-01"},
      {":SOUR:CURR:RANG:AUTO 1", ":SOUR:CURR:RANG:AUTO?", "1"},
      {":SOUR:VOLT:RANG 21", ":SOUR:VOLT:RANG?", "2.100000E+01"},
      {":SENS:FUNC 'VOLT','RES'", ":SENS:FUNC?", "\"VOLT:DC\",\"CURR:DC\",\"RES\""},
      {":SENS:FUNC:OFF \"CURR:DC,RES\"", ":SENS:FUNC?", "\"VOLT:DC\""},
      {":SENS:FUNC:CONC OFF", ":SENS:FUNC:CONC?", "0"},
      {":SENS:VOLT:PROT 5", ":SENS:VOLT:PROT?", "+5.000000E+00"},
      {":SENS:VOLT:NPLC 0.1", ":SENS:CURR:NPLC?", "+1.000000E-01"},
      {":SENS:CURR:RANG 1e-5", ":SENS:CURR:RANG?", "1.050000E-05"},
      {":SENS:CURR:RANG:AUTO ON", ":SENS:CURR:RANG:AUTO?", "1"},
      {":SENS:VOLT:RANG:AUTO OFF", ":SENS:VOLT:RANG:AUTO?", "0"},
      {":SENS:RES:MODE MAN", ":SENS:RES:MODE?", "MAN"},
      {":FORM:ELEM STAT,CURR,VOLT", ":FORM:ELEM?", "VOLT,CURR,STAT"},
      {":TRIG:COUN 20", ":TRIG:COUN?", "20"},
      {":TRIG:DEL 0.25", ":TRIG:DEL?", "+2.500000E-01"},
      {":SOUR:DEL 0.5", ":SOUR:DEL:AUTO?", "0"},
      {":SOUR:CLE:AUTO ON", ":SOUR:CLE:AUTO?", "1"},
      {":SYST:BEEP:STAT OFF", ":SYST:BEEP:STAT?", "0"},
      {":DISP:ENAB 0", ":DISP:ENAB?", "0"},
      {":SYST:AZER OFF", ":SYST:AZER?", "0"},
      {":SYST:AZER ON;:SYST:AZER ONCE", ":SYST:AZER?", "0"},  // zeroes once, then stays off
      {":SYST:LFR 60", ":SYST:LFR?;LFR:AUTO?", "60;0"},
      {":SYST:LFR:AUTO ON", ":SYST:LFR:AUTO?", "1"},
      {":ROUT:TERM REAR", ":ROUT:TERM?", "REAR"},
      {"*ESE 36", "*ESE?", "36"},
      {":SENS:AVER:TCON REP;COUN 4;:SENS:AVER ON", ":AVER?;AVER:COUN?;TCON?", "1;+4.000000E+00;REP"},
      {":OUTP:SMOD ZERO", ":OUTP:SMOD?", "ZERO"},
      {":OUTPut:STATe ON", ":OUTP?", "1"},
  };
  for (const auto& s : settings) {
    EXPECT_TRUE(model.Execute(s[0], 0).text.empty()) << s[0];
    EXPECT_EQ(model.Execute(s[1], 0).text, std::string(s[2]) + "\r") << s[0];
  }
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");
  // Refused values leave the setting alone.
  model.Execute(":SOUR:CURR:RANG:AUTO 0;:SOUR:CURR 0.5", 0);  // beyond the 10 mA range: conflict
  model.Execute(":TRIG:COUN 0", 0);                           // below 1
  model.Execute(":SOUR:FUNC MEM", 0);                         // not a source function here
  model.Execute(":SENS:FUNC 'FRES'", 0);
  model.Execute(":FORM:ELEM", 0);
  EXPECT_EQ(model.Execute(":SYST:ERR:CODE:ALL?", 0).text, "-221,-222,-224,-224,-109\r");
  EXPECT_EQ(model.Execute(":SOUR:CURR?;:TRIG:COUN?;:SOUR:FUNC?", 0).text, "-2.500000E-03;20;CURR\r");
  EXPECT_EQ(model.Execute(":SOUR:VOLT? MAX;:SENS:CURR:PROT? MIN;:TRIG:DEL? DEF", 0).text,
            "+2.100000E+02;-1.050000E+00;+0.000000E+00\r");
}

TEST(InstrumentModelTest, SourcingCurrentMeasuresVoltageUpToItsCompliance) {
  InstrumentModel model(SimOptions{});  // 1 MOhm
  model.Execute(":SOUR:FUNC CURR;:SOUR:CURR 2e-6;:SENS:FUNC 'VOLT';:SENS:VOLT:PROT 10;:OUTP ON", 0);
  Reading r = Parse(model.Execute(":READ?", 1).text);
  ASSERT_EQ(r.fields, 5);
  EXPECT_DOUBLE_EQ(r.volts, 2.0);
  EXPECT_DOUBLE_EQ(r.amps, 2e-6);
  EXPECT_DOUBLE_EQ(r.status, 4 + 1024 + 2048 + 4096 + 32768);

  // 20 uA would need 20 V: the voltage stops at 10 V and the current follows.
  model.Execute(":SOUR:CURR 20e-6", 0);
  r = Parse(model.Execute(":READ?", 1).text);
  EXPECT_DOUBLE_EQ(r.volts, 10.0);
  EXPECT_DOUBLE_EQ(r.amps, 1e-5);
  EXPECT_EQ(static_cast<long>(r.status) & Readings::kStatusCompliance, Readings::kStatusCompliance);

  // Beyond the full scale of a fixed measurement range the current overflows.
  model.Execute(":SOUR:FUNC VOLT;:SOUR:VOLT 50;:SENS:FUNC:OFF 'VOLT';:SENS:CURR:PROT 1e-3;:SENS:CURR:RANG 1e-5", 0);
  r = Parse(model.Execute(":READ?", 1).text);
  EXPECT_DOUBLE_EQ(r.volts, 50.0);
  EXPECT_DOUBLE_EQ(r.amps, 9.91e37);
  EXPECT_DOUBLE_EQ(r.status, 4 + 1024 + 4096 + 16384 + 1);
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");
}

TEST(InstrumentModelTest, ReadingsCarryTheChosenElementsAndCounts) {
  InstrumentModel model(SimOptions{});
  model.Execute(":SOUR:VOLT 2;:OUTP ON;:FORM:ELEM CURR", 0);
  EXPECT_EQ(model.Execute(":READ?", 0).text, "+2.000000E-06\r");
  model.Execute(":FORM:ELEM TIME,RES,VOLT;:SENS:FUNC 'RES'", 0);
  EXPECT_EQ(model.Execute(":READ?", 7.5).text, "+2.000000E+00,+1.000000E+06,+7.500000E+00\r");

  model.Execute(":FORM:ELEM CURR;:TRIG:COUN 3", 0);
  const ModelAnswer three = model.Execute(":READ?", 0);
  EXPECT_EQ(three.text, "+2.000000E-06,+2.000000E-06,+2.000000E-06\r");
  EXPECT_EQ(three.delayMs, 3 * 63);

  // :INIT takes the readings, :FETC? returns them once they are done.
  model.Execute(":TRIG:COUN 2;:INIT", 10.0);
  const ModelAnswer fetched = model.Execute(":FETC?", 10.04);
  EXPECT_EQ(fetched.text, "+2.000000E-06,+2.000000E-06\r");
  EXPECT_NEAR(fetched.delayMs, 2 * 63 - 40, 1);
  model.Execute("*RST", 0);
  EXPECT_TRUE(model.Execute(":FETC?", 0).text.empty());
  EXPECT_EQ(PopError(model), "-230,\"Data corrupt or stale\"\r");

  // :MEAS:CURR? switches the output on and measures the current alone.
  model.Execute(":SOUR:VOLT 1", 0);
  const Reading r = Parse(model.Execute(":MEAS:CURR?", 0).text);
  EXPECT_EQ(r.fields, 5);
  EXPECT_DOUBLE_EQ(r.amps, 1e-6);
  EXPECT_TRUE(model.OutputOn());
  // With auto output-off a reading needs no :OUTP ON and leaves the output off.
  model.Execute(":OUTP OFF;:SOUR:CLE:AUTO ON", 0);
  EXPECT_EQ(Parse(model.Execute(":READ?", 0).text).fields, 5);
  EXPECT_FALSE(model.OutputOn());
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");
}

TEST(InstrumentModelTest, IntegrationTimeLengthensTheReply) {
  InstrumentModel model(SimOptions{});
  model.Execute(":OUTP ON", 0);
  // The manual's timing: conversions x (NPLC cycles + 185 us) + 1.5 ms of firmware, rounded up.
  EXPECT_EQ(model.Execute(":READ?", 0).delayMs, 63);  // reset: 3 x (20 + 0.185) + 1.5 = 62.06 ms at 50 Hz
  model.Execute(":SENS:CURR:NPLC 10", 0);
  EXPECT_EQ(model.Execute(":READ?", 0).delayMs, 603);  // three conversions of 10 cycles at 50 Hz
  model.Execute(":SYST:AZER OFF", 0);
  EXPECT_EQ(model.Execute(":READ?", 0).delayMs, 202);  // 200.185 + 1.5
  model.Execute(":SYST:LFR 60", 0);
  EXPECT_EQ(model.ReadingTimeMs(), 169);  // 166.67 + 0.185 + 1.5
  model.Execute(":SENS:CURR:NPLC 0.01;:SYST:AZER ON", 0);
  EXPECT_EQ(model.ReadingTimeMs(), 3);  // 3 x (0.167 + 0.185) + 1.5
  model.Execute(":SENS:CURR:NPLC 1;:TRIG:DEL 0.1;:SOUR:DEL 0.02", 0);
  EXPECT_EQ(model.ReadingTimeMs(), 173);  // 52.06 + 100 + 20
  model.Execute(":TRIG:DEL 0;:SOUR:DEL:AUTO ON;:AVER:TCON REP;COUN 5;:AVER ON", 0);
  EXPECT_EQ(model.ReadingTimeMs(), 261);  // a repeating filter takes five fresh readings of 52.06 ms
}

// 1 kOhm at 0.5 V draws 500 uA; after *RST the current limit is 105 uA.
TEST(InstrumentModelTest, TheCurrentLimitHoldsTheCurrentAndLowersTheVoltage) {
  SimOptions kiloohm;
  kiloohm.ohms = 1000;
  InstrumentModel model = Sourcing(kiloohm, "0.50000");
  EXPECT_EQ(model.Execute(":SENS:CURR:PROT?", 0).text, "+1.050000E-04\r");
  Reading r = Parse(model.Execute(":READ?", 0).text);
  ASSERT_EQ(r.fields, 5);
  EXPECT_DOUBLE_EQ(r.amps, 1.05e-4);
  EXPECT_DOUBLE_EQ(r.volts, 0.105);  // what the resistor sees at 105 uA
  EXPECT_EQ(static_cast<long>(r.status) & Readings::kStatusCompliance, Readings::kStatusCompliance);

  model.Execute(":SENS:CURR:PROT 1E-3", 0);
  r = Parse(model.Execute(":READ?", 0).text);
  EXPECT_DOUBLE_EQ(r.amps, 5e-4);
  EXPECT_DOUBLE_EQ(r.volts, 0.5);
  EXPECT_EQ(static_cast<long>(r.status) & Readings::kStatusCompliance, 0);

  // Beyond the instrument's 1.05 A: refused, and the limit stays.
  model.Execute(":SENS:CURR:PROT 2", 0);
  EXPECT_DOUBLE_EQ(model.ComplianceA(), 1e-3);
  EXPECT_EQ(PopError(model), "-222,\"Parameter data out of range\"\r");
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");
}

TEST(InstrumentModelTest, AFixedRangeOverflowsAndRangesReadAsTheInstrumentNamesThem) {
  SimOptions kiloohm;
  kiloohm.ohms = 1000;
  InstrumentModel model = Sourcing(kiloohm, "0.50000");
  model.Execute(":SENS:CURR:PROT 1e-3;:SENS:CURR:RANG 1e-4", 0);
  EXPECT_EQ(model.Execute(":SENS:CURR:RANG?;RANG:AUTO?", 0).text, "1.050000E-04;0\r");
  Reading r = Parse(model.Execute(":READ?", 0).text);
  EXPECT_DOUBLE_EQ(r.volts, 0.5);
  EXPECT_DOUBLE_EQ(r.amps, 9.91e37);  // 500 uA on the 100 uA range
  EXPECT_EQ(static_cast<long>(r.status) & (Readings::kStatusOverRange | Readings::kStatusCompliance),
            Readings::kStatusOverRange);
  model.Execute(":SOUR:VOLT 0.1", 0);
  EXPECT_DOUBLE_EQ(Parse(model.Execute(":READ?", 0).text).amps, 1e-4);  // on range again
  model.Execute(":SOUR:VOLT 0.5;:SENS:CURR:RANG:AUTO ON", 0);
  r = Parse(model.Execute(":READ?", 0).text);
  EXPECT_DOUBLE_EQ(r.amps, 5e-4);
  EXPECT_EQ(static_cast<long>(r.status) & Readings::kStatusOverRange, 0);

  // A value picks the smallest range that holds it; none above the limit's own.
  for (const auto& pick : std::vector<std::array<const char*, 2>>{{"1e-6", "1.050000E-06"},
                                                                  {"1.05e-4", "1.050000E-04"},
                                                                  {"1.06e-4", "1.050000E-03"},
                                                                  {"-2e-5", "1.050000E-04"}}) {
    model.Execute(std::string(":SENS:CURR:RANG ") + pick[0], 0);
    EXPECT_EQ(model.Execute(":SENS:CURR:RANG?", 0).text, std::string(pick[1]) + "\r") << pick[0];
  }
  model.Execute(":SENS:CURR:RANG 0.01", 0);
  EXPECT_EQ(model.Execute(":SENS:CURR:RANG?", 0).text, "1.050000E-04\r");
  EXPECT_EQ(PopError(model), "+824,\"Cannot exceed compliance range\"\r");
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");
}

TEST(InstrumentModelTest, TriggerAndArmLayersSetHowManyReadingsAndWhen) {
  InstrumentModel model = Sourcing(SimOptions{}, "1");
  model.Execute(
      ":ARM:SOUR TIM;:ARM:TIM 0.5;:ARM:COUN 3;:TRIG:COUN 2;:TRIG:SOUR IMM;:TRIG:OUTP SOUR,SENS;OLIN 3;"
      ":ARM:ILIN 4;OUTP TEX;:FORM:ELEM CURR,TIME",
      0);
  EXPECT_EQ(model.Execute(":ARM:SOUR?;TIM?;COUN?;:TRIG:COUN?;SOUR?;OUTP?;OLIN?;ILIN?;:ARM:ILIN?;OUTP?", 0).text,
            "TIM;+5.000000E-01;3;2;IMM;SOUR,SENS;3;1;4;TEX\r");
  // Three timed arm passes of two 63 ms readings each.
  const ModelAnswer six = model.Execute(":READ?", 10.0);
  EXPECT_EQ(six.delayMs, 1126);
  double seconds[6] = {};
  double amps = 0;
  const char* text = six.text.c_str();
  for (double& t : seconds) {
    int used = 0;
    ASSERT_EQ(std::sscanf(text, "%lf,%lf%n", &amps, &t, &used), 2) << six.text;
    EXPECT_DOUBLE_EQ(amps, 1e-6);
    text += used + 1;
  }
  const double expected[] = {10.0, 10.063, 10.5, 10.563, 11.0, 11.063};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(seconds[i], expected[i], 1e-9) << i;

  // A Trigger Link event never comes: no reply, and *OPC? waits, until :ABOR.
  model.Execute(":ARM:SOUR IMM;COUN 1;:TRIG:COUN 1;:TRIG:SOUR TLIN", 0);
  EXPECT_TRUE(model.Execute(":READ?", 0).text.empty());
  EXPECT_TRUE(model.Execute("*OPC?", 0).text.empty());
  model.Execute(":ABOR", 0);
  EXPECT_EQ(model.Execute("*OPC?", 0).text, "1\r");
  // Bypassing the detector lets a single pass through without the event.
  model.Execute(":TRIG:DIR SOUR", 0);
  EXPECT_DOUBLE_EQ(Parse(model.Execute(":READ?", 0).text).volts, 1e-6);  // CURR is the first element

  // The bus trigger: :INIT arms, *TRG takes the readings.
  model.Execute(":TRIG:SOUR IMM;:ARM:SOUR BUS;:INIT", 0);
  EXPECT_TRUE(model.Execute(":FETC?", 0).text.empty());
  model.Execute("*TRG", 1.0);
  EXPECT_EQ(model.Execute(":FETC?", 1.0).text, "+1.000000E-06,+1.000000E+00\r");
  model.Execute("*TRG", 2.0);  // not armed: ignored
  EXPECT_EQ(model.Execute(":SYST:ERR:ALL?", 0).text, "-230,\"Data corrupt or stale\",-211,\"Trigger ignored\"\r");

  model.Execute("*RST", 0);
  EXPECT_EQ(model.Execute(":ARM:SOUR?;COUN?;TIM?;DIR?;OLIN?;OUTP?;:TRIG:SOUR?;DIR?;ILIN?;OLIN?;OUTP?", 0).text,
            "IMM;1;+1.000000E-01;ACC;2;NONE;IMM;ACC;1;2;NONE\r");
  model.Execute(":TRIG:SOUR BUS;:ARM:OLIN 5;:TRIG:OUTP SOUR,EXIT", 0);  // BUS is an arm event only
  EXPECT_EQ(model.Execute(":SYST:ERR:CODE:ALL?", 0).text, "-224,-222,-224\r");
}

}  // namespace
