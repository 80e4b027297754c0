// Publishes a run to an MQTT broker: each reading to PREFIX/reading (QoS 1,
// one JSON object), the run state to PREFIX/status (retained, with a last
// will of {"state":"offline"}). Publish only: it subscribes to nothing.
//
// The data file comes first: the run hands over a snapshot after its line is
// written, and nothing here waits for the broker. The connection lives on
// libmosquitto's own thread and reconnects by itself; readings taken while it
// is down wait in a bounded queue and go out after the reconnect. Trouble with
// the broker is told once, through the warning sink, on the thread that hands
// in snapshots.
//
// Threads: OnSnapshot, RunFailed and Finish may come from any thread, one at a
// time or not (they take a lock).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "publish/broker_address.h"
#include "publish/run_messages.h"
#include "run/measurement_run.h"

struct MqttSettings {
  BrokerAddress broker;
  std::string password;           // from a file or the environment; never shown
  std::string caFile;             // mqtts: the CA certificate; empty: the system's
  std::string bench;              // in the run state, and in messages
  std::size_t queueLimit = 3600;  // readings held while the broker is away
};

class MqttPublisher {
 public:
  using WarningSink = std::function<void(const std::string& text)>;

  // Starts connecting in the background.
  MqttPublisher(const MqttSettings& settings, WarningSink warn);
  ~MqttPublisher();
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // A snapshot of the run: a new reading is published, a new state too. At
  // the end of a run its counts go into the run record.
  void OnSnapshot(const SnapshotPtr& snapshot);
  // The run could not start.
  void RunFailed(const SnapshotPtr& snapshot);
  // Before the program ends: waits up to `maxWaitSeconds` for the broker to
  // take what is queued while it is connected, counts the rest as dropped,
  // then disconnects (cleanly: the last will stays unsent).
  void Finish(double maxWaitSeconds);

  PublishCounts Counts() const;
  const MqttSettings& Settings() const;

  class Connection;  // libmosquitto, or nothing where it is missing

 private:
  std::unique_ptr<Connection> connection_;
};

// "mqtt: 118 readings published to mqtt://bench@lab:1883, 2 dropped"
std::string PublishSummary(const MqttSettings& settings, const PublishCounts& counts);

// Adds the publishing counts to the run record at `recordPath` (a no-op when
// empty). On failure returns false with the reason in `error`.
bool AddToRunRecord(const std::string& recordPath, const MqttSettings& settings, const PublishCounts& counts,
                    std::string& error);
