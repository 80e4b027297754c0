// The SourceMeter's trigger model: an arm layer around a trigger layer. Each
// layer has a count, an event source, a bypass direction and Trigger Link
// input and output lines; the trigger layer adds a delay before each reading.
//
// Nothing is wired to the simulated instrument's Trigger Link, Digital I/O or
// front panel, so an event from one of them never comes. The layers here only
// say whether a pass can run on its own and when each reading starts.
#pragma once

#include <cstddef>
#include <vector>

struct TriggerModel {
  // Event sources, in the order of the mnemonic lists in instrument_commands.cpp.
  enum ArmSource : std::size_t { kArmImmediate, kArmTimer, kArmManual, kArmBus, kArmTriggerLink, kArmNegativeStest,
                                 kArmPositiveStest, kArmBothStest };
  enum TriggerSource : std::size_t { kTriggerImmediate, kTriggerLink };
  enum Direction : std::size_t { kSource, kAcceptor };

  // *RST values.
  std::size_t armSource = kArmImmediate;
  std::size_t triggerSource = kTriggerImmediate;
  std::size_t armDirection = kAcceptor, triggerDirection = kAcceptor;
  double armCount = 1, triggerCount = 1;
  double armTimerSeconds = 0.1;
  double triggerDelaySeconds = 0.0;
  double armInputLine = 1, armOutputLine = 2, triggerInputLine = 1, triggerOutputLine = 2;
  // Event lists, one bit per event in the order of their mnemonics: TENTer,
  // TEXit for the arm layer; SOURce, DELay, SENSe for the trigger layer.
  unsigned armOutputEvents = 0, triggerOutputEvents = 0, triggerInputEvents = 0;

  void Reset() { *this = TriggerModel{}; }

  // Whether a pass through the layers waits for an event that never comes
  // (Trigger Link, front panel, Digital I/O). `busTriggered`: a *TRG arrived
  // for an arm layer that waits for one. A layer set to bypass (SOURce) lets
  // its first pass through without an event, which covers a count of 1.
  bool WaitsForEvent(bool busTriggered) const;
  bool WaitsForBus() const { return armSource == kArmBus; }
  // When each reading starts, in seconds after the first, for readings of
  // `readingSeconds` each. With the timer as arm event the first arm pass
  // starts at once and each later one a timer interval after the one before,
  // or when the one before ends if that takes longer.
  std::vector<double> ReadingStarts(double readingSeconds) const;
};
