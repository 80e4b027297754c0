#include "publish/snapshot_changes.h"

SnapshotNews SnapshotChanges::Next(const RunSnapshot& snapshot) {
  const RunCounters& c = snapshot.counters;
  const bool silent = c.noReplyStreak >= kSilentSampleLimit;
  const int step = snapshot.stepInForce ? snapshot.step.step : -1;
  const int pass = snapshot.stepInForce ? snapshot.step.pass : -1;
  SnapshotNews news;
  // A new start resets the counters: its first sample counts 1 again.
  news.newSample = c.samplesTaken > 0 && c.samplesTaken != samplesTaken_;
  news.newState = !seen_ || snapshot.state != state_ || c.missedSamples != missedSamples_ ||
                  c.lostLines != lostLines_ || c.staleReplies != staleReplies_ || c.portLosses != portLosses_ ||
                  c.complianceStreaks != complianceStreaks_ || silent != silent_ ||
                  snapshot.recordWriteError != recordWriteError_ || step != step_ || pass != pass_ ||
                  snapshot.rampingDown != rampingDown_;
  seen_ = true;
  state_ = snapshot.state;
  samplesTaken_ = c.samplesTaken;
  missedSamples_ = c.missedSamples;
  lostLines_ = c.lostLines;
  staleReplies_ = c.staleReplies;
  portLosses_ = c.portLosses;
  complianceStreaks_ = c.complianceStreaks;
  silent_ = silent;
  recordWriteError_ = snapshot.recordWriteError;
  step_ = step;
  pass_ = pass;
  rampingDown_ = snapshot.rampingDown;
  return news;
}
