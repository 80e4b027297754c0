// The SourceMeter 2400's command interpreter, without any terminal: one command
// line in, what the instrument would send back out. The pty server feeds it and
// puts its answers on the line; tests drive it directly.
#pragma once

#include <cstddef>
#include <deque>
#include <random>
#include <string>

#include "sim/simulated_instrument.h"

// What the instrument does in answer to one command.
struct ModelAnswer {
  std::string text;       // bytes to send back, with the closing CR; empty: no answer
  int delayMs = 0;        // time before the first byte goes out (measurement time)
  bool hangUp = false;    // after sending `text` (possibly a partial reply), drop the line
  std::size_t pauseAfter = std::string::npos;  // bytes of `text` sent before a pause mid-reply
};

class InstrumentModel {
 public:
  static constexpr int kMeasureDelayMs = 50;
  static constexpr double kDefaultComplianceA = 105e-6;
  static constexpr double kMaxSourceVolts = 210.0;
  static constexpr double kMaxComplianceA = 1.05;
  static constexpr int kStatusVoltsSourceCurrentMeasure = 21508;
  static constexpr int kStatusInCompliance = 8;
  static constexpr std::size_t kErrorQueueSize = 10;
  static constexpr const char* kIdentification =
      "KEITHLEY INSTRUMENTS INC.,MODEL 2400,1000001,C32   Oct  4 2010 14:20:11/A02  /S/K";

  explicit InstrumentModel(const SimOptions& options);

  // Runs one command line (its CR/LF terminator already removed). `nowSeconds`
  // is the instrument's time stamp clock.
  ModelAnswer Execute(const std::string& command, double nowSeconds);

  // *RST: output off, 0 V, compliance 105 uA, error queue cleared.
  void Reset();

  bool OutputOn() const { return outputOn_; }
  double SourceVolts() const { return sourceVolts_; }
  double ComplianceA() const { return complianceA_; }
  int ReadRequests() const { return readRequests_; }
  const std::deque<std::string>& ErrorQueue() const { return errors_; }

  // The current the device under test draws at `volts`, before noise and clamp.
  double DeviceCurrent(double volts) const;

  // One :READ? reply (five fields and CR) for the present state.
  std::string FormatReading(double nowSeconds);

 private:
  ModelAnswer Read(double nowSeconds);
  void QueueError(int code, const char* message);
  std::string PopError();

  SimOptions options_;
  bool outputOn_ = false;
  double sourceVolts_ = 0.0;
  double complianceA_ = kDefaultComplianceA;
  int readRequests_ = 0;
  std::deque<std::string> errors_;
  std::mt19937 random_;
  std::normal_distribution<double> gaussian_{0.0, 1.0};
};
