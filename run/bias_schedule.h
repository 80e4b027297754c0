// What voltage a run sets, and when: a list of steps repeated a number of
// times, and a ramp rate that limits every change of the set voltage. Plain
// values and arithmetic, no instrument: the run asks, for each sample, which
// voltage to send.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BiasStep {
  double volts = 0.0;
  std::int64_t durationMs = 0;
};

struct BiasSchedule {
  std::vector<BiasStep> steps;      // empty: the one output voltage for the whole run
  int repeat = 1;                   // passes through the steps
  double rampVoltsPerSecond = 0.0;  // 0: every change at once

  bool HasSteps() const { return !steps.empty(); }
  bool HasRamp() const { return rampVoltsPerSecond > 0.0; }
  // Either changes what the run sends and what its data lines hold.
  bool Any() const { return HasSteps() || HasRamp(); }
};

// The steps' durations times the passes.
std::int64_t ScheduleTotalMs(const BiasSchedule& schedule);

struct StepInForce {
  int step = 0;  // 0-based, in the list
  int pass = 0;  // 0-based
  double volts = 0.0;
};

// The step in force at `dueMs` after the start. A step holds from just after
// its start up to and including its end, so a sample due at a step's end
// still belongs to it and a step of one interval gets its one sample. Before
// the start the first step, after the end the last. `schedule` has steps.
StepInForce StepAt(const BiasSchedule& schedule, std::int64_t dueMs);

// `target` approached from `previous` by at most rate x interval; `target`
// itself without a ramp.
double RampedVoltage(double previous, double target, double rampVoltsPerSecond, int intervalMs);

// The set voltage of a run from one sample to the next: 0 V when the output
// goes on, then the step in force (or the one output voltage) as the ramp lets
// it, and back to 0 V before the output goes off.
class BiasSource {
 public:
  // At output on: 0 V, no step in force yet.
  void Reset(const BiasSchedule& schedule, double outputVoltage, int intervalMs);

  // The voltage to set for the sample due at `dueMs`. StepChanged() then says
  // whether this sample is the first of a step.
  double ForSample(std::int64_t dueMs);
  // The voltage to set for a sample on the way down to 0 V.
  double ForRampDown();

  double Volts() const { return volts_; }
  bool AtZero() const { return volts_ == 0.0; }
  bool StepChanged() const { return stepChanged_; }
  const StepInForce& Step() const { return step_; }
  bool HasStep() const { return hasStep_; }

 private:
  BiasSchedule schedule_;
  double outputVoltage_ = 0.0;
  int intervalMs_ = 1000;
  double volts_ = 0.0;
  StepInForce step_;
  bool hasStep_ = false;
  bool stepChanged_ = false;
};

// One line of a steps file: voltage and seconds separated by blanks or a tab;
// "#" starts a comment. Blank (and comment-only) lines give Empty.
enum class StepLine { Step, Empty, Bad };
StepLine ParseStepLine(const std::string& line, double& volts, double& seconds);

// A "VOLTS:SECONDS" pair as --step takes it. False when it is not two numbers.
bool ParseStepPair(const std::string& text, double& volts, double& seconds);
