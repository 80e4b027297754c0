// Where a run's readings go besides the data file: an MQTT broker and/or one
// line per reading on stdout, as the publishing options ask. Set it as the
// run's snapshot listener; it is safe from any thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "programs/common/publish_options.h"
#include "publish/mqtt_publisher.h"
#include "publish/snapshot_changes.h"
#include "run/measurement_run.h"

class ReadingOutputs {
 public:
  // Starts connecting to the broker, if there is one; its trouble goes to `warn`.
  ReadingOutputs(const PublishOptions& options, MqttPublisher::WarningSink warn);

  // Wires this to `run`'s snapshots.
  void Listen(MeasurementRun& run);
  void OnSnapshot(const SnapshotPtr& snapshot);
  // The run could not start: the broker hears "failed".
  void RunFailed(const SnapshotPtr& snapshot);
  // Before the program ends: lets the broker take what waits (a few seconds
  // at most, and only while it is connected).
  void Finish();
  // "mqtt: N readings published to BROKER, M dropped", or "" without a broker.
  std::string SummaryLine() const;

 private:
  StdoutLines stdoutLines_;
  std::string bench_;
  std::mutex stdoutMutex_;
  SnapshotChanges stdoutChanges_;
  std::unique_ptr<MqttPublisher> publisher_;
};
