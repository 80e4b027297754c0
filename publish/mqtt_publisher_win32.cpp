// The Windows build has no libmosquitto: the publisher says so once and
// publishes nothing.
#include <mutex>

#include "publish/mqtt_publisher.h"

class MqttPublisher::Connection {
 public:
  Connection(const MqttSettings& settings, WarningSink warn) : settings_(settings), warn_(std::move(warn)) {}

  void Tell() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (told_ || !warn_) return;
    told_ = true;
    warn_("warning: this build of Ivra cannot publish to an MQTT broker; the run goes on without it.");
  }

  const MqttSettings settings_;
  const WarningSink warn_;
  std::mutex mutex_;
  bool told_ = false;
};

MqttPublisher::MqttPublisher(const MqttSettings& settings, WarningSink warn)
    : connection_(std::make_unique<Connection>(settings, std::move(warn))) {}
MqttPublisher::~MqttPublisher() = default;
void MqttPublisher::OnSnapshot(const SnapshotPtr&) { connection_->Tell(); }
void MqttPublisher::RunFailed(const SnapshotPtr&) { connection_->Tell(); }
void MqttPublisher::Finish(double) {}
PublishCounts MqttPublisher::Counts() const { return {}; }
const MqttSettings& MqttPublisher::Settings() const { return connection_->settings_; }
