// Tells, from one run snapshot to the next, whether a sample was taken and
// whether the run's state moved (a trouble, a start, an end). A run publishes
// a snapshot after every step; readers want the news only.
#pragma once

#include <string>

#include "run/run_snapshot.h"

struct SnapshotNews {
  bool newSample = false;  // counters.samplesTaken grew: latest is a reading
  bool newState = false;   // state, a trouble counter, the record's health, the step or the way down changed
};

class SnapshotChanges {
 public:
  SnapshotNews Next(const RunSnapshot& snapshot);

 private:
  bool seen_ = false;
  RunState state_ = RunState::Idle;
  int samplesTaken_ = 0;
  int missedSamples_ = 0;
  int lostLines_ = 0;
  int staleReplies_ = 0;
  int portLosses_ = 0;
  int complianceStreaks_ = 0;
  bool silent_ = false;
  int step_ = -1;  // -1 while no step is in force
  int pass_ = -1;
  bool rampingDown_ = false;
  std::string recordWriteError_;
};
