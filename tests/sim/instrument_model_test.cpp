// The instrument's command interpreter, without a terminal.
#include "sim/instrument_model.h"

#include <cmath>
#include <cstdio>
#include <regex>
#include <string>

#include <gtest/gtest.h>

namespace {

struct Reading {
  int fields = 0;
  double volts = 0, amps = 0, resistance = 0, seconds = 0, status = 0;
};

Reading Parse(const std::string& text) {
  Reading r;
  r.fields = std::sscanf(text.c_str(), "%lf,%lf,%lf,%lf,%lf", &r.volts, &r.amps, &r.resistance, &r.seconds,
                         &r.status);
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
  EXPECT_EQ(answer.delayMs, 50);
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

TEST(InstrumentModelTest, ErrorsQueueInOrderAndResetClearsThem) {
  InstrumentModel model(SimOptions{});
  EXPECT_TRUE(model.Execute(":READ?", 0).text.empty());  // output off: no answer
  EXPECT_TRUE(model.Execute(":BOGUS 1", 0).text.empty());
  EXPECT_TRUE(model.Execute(":SOUR:CURR 1", 0).text.empty());
  EXPECT_EQ(PopError(model), "+803,\"Not permitted with OUTPUT off\"\r");
  EXPECT_EQ(PopError(model), "-113,\"Undefined header\"\r");
  EXPECT_EQ(PopError(model), "-113,\"Undefined header\"\r");
  EXPECT_EQ(PopError(model), "0,\"No error\"\r");

  for (int i = 0; i < 12; ++i) model.Execute("NOPE", 0);
  ASSERT_EQ(model.ErrorQueue().size(), InstrumentModel::kErrorQueueSize);
  EXPECT_EQ(model.ErrorQueue().back(), "-350,\"Queue overflow\"");

  model.Execute(":OUTP ON", 0);
  model.Execute(":SOUR:VOLT 3", 0);
  model.Execute(":SENS:CURR:PROT 0.01", 0);
  model.Execute("*RST", 0);
  EXPECT_FALSE(model.OutputOn());
  EXPECT_EQ(model.SourceVolts(), 0.0);
  EXPECT_DOUBLE_EQ(model.ComplianceA(), 105e-6);
  EXPECT_TRUE(model.ErrorQueue().empty());
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
  EXPECT_EQ(PopError(model), "-222,\"Data out of range\"\r");
  EXPECT_EQ(PopError(model), "-104,\"Data type error\"\r");
  EXPECT_EQ(PopError(model), "-109,\"Missing parameter\"\r");
  EXPECT_EQ(PopError(model), "-104,\"Data type error\"\r");
  EXPECT_EQ(PopError(model), "-222,\"Data out of range\"\r");
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
  EXPECT_EQ(Sourcing(slow, "1").Execute(":READ?", 0).delayMs, 750);

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

}  // namespace
