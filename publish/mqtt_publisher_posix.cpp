// The publisher over Debian's libmosquitto, whose own thread keeps the
// connection and reconnects. Only the thread that hands in snapshots publishes;
// libmosquitto's callbacks just note what happened.
#include <mosquitto.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include "publish/mqtt_publisher.h"
#include "publish/snapshot_changes.h"

namespace {

constexpr int kQos = 1;
constexpr int kKeepAliveSeconds = 30;
constexpr const char* kOfflineState = "{\"state\":\"offline\"}";
constexpr std::chrono::seconds kStopWait{2};  // for the disconnect to reach the broker at the end

std::string ReasonOfError(int rc) {
  if (rc == MOSQ_ERR_ERRNO) return std::strerror(errno);
  return mosquitto_strerror(rc);
}

// "Connection Refused: not authorised." -> "not authorised"
std::string ReasonOfRefusal(int rc) {
  std::string text = mosquitto_connack_string(rc);
  const std::size_t colon = text.find(": ");
  if (colon != std::string::npos) text = text.substr(colon + 2);
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

class MqttPublisher::Connection {
 public:
  Connection(const MqttSettings& settings, WarningSink warn) : settings_(settings), warn_(std::move(warn)) {
    mosquitto_lib_init();
    const std::string clientId = "ivra-" + settings_.bench + "-" + std::to_string(getpid());
    mosq_ = mosquitto_new(clientId.c_str(), true, this);
    if (!mosq_) {
      NoteTrouble("cannot set up the connection");
      return;
    }
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    const BrokerAddress& broker = settings_.broker;
    if (!broker.user.empty() || !settings_.password.empty()) {
      mosquitto_username_pw_set(mosq_, broker.user.empty() ? nullptr : broker.user.c_str(),
                                settings_.password.empty() ? nullptr : settings_.password.c_str());
    }
    if (broker.tls) {
      const int rc =
          mosquitto_tls_set(mosq_, settings_.caFile.empty() ? nullptr : settings_.caFile.c_str(),
                            settings_.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
      if (rc != MOSQ_ERR_SUCCESS) NoteTrouble("TLS: " + ReasonOfError(rc));
    }
    mosquitto_will_set(mosq_, StatusTopic().c_str(), static_cast<int>(std::strlen(kOfflineState)), kOfflineState, kQos,
                       true);
    mosquitto_reconnect_delay_set(mosq_, 1, 8, true);
    mosquitto_connect_callback_set(mosq_, &Connection::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &Connection::OnDisconnect);
    mosquitto_publish_callback_set(mosq_, &Connection::OnPublish);
    const int rc = mosquitto_connect_async(mosq_, broker.host.c_str(), broker.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) NoteTrouble(ReasonOfError(rc));
    // Started even when the first try failed: the thread tries again.
    if (mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS) NoteTrouble("cannot start the connection's thread");
  }

  ~Connection() {
    if (mosq_) {
      Disconnect();
      // Cancelled while it writes to the broker, libmosquitto's thread would
      // leave its locks held: it gets the time to send the disconnect and end
      // by itself. Only a thread that cannot is cancelled: one that never had
      // a connection (it may sit minutes in a connect) or whose broker stopped
      // taking data.
      const auto deadline = std::chrono::steady_clock::now() + kStopWait;
      while (connected_ && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      mosquitto_loop_stop(mosq_, connected_ || !endsByItself_);
      mosquitto_destroy(mosq_);
    }
    mosquitto_lib_cleanup();
  }

  void OnSnapshot(const SnapshotPtr& snapshot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!snapshot || finished_) return;
    const SnapshotNews news = changes_.Next(*snapshot);
    if (news.newSample) {
      queue_.push_back(ReadingJson(ReadingOf(*snapshot, std::chrono::system_clock::now())));
      // The oldest reading goes first: a dashboard wants the latest.
      if (queue_.size() > settings_.queueLimit) {
        queue_.pop_front();
        ++dropped_;
      }
    }
    if (news.newState) status_ = StatusPayload(*snapshot, RunStateWord(*snapshot));
    Flush();
    TellTrouble();
    if (snapshot->state == RunState::Ended && news.newState) RecordCounts(snapshot->recordPath);
    if (!snapshot->recordPath.empty()) recordPath_ = snapshot->recordPath;
  }

  void RunFailed(const SnapshotPtr& snapshot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!snapshot || finished_) return;
    status_ = StatusPayload(*snapshot, "failed");
    Flush();
    TellTrouble();
  }

  void Finish(double maxWaitSeconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (finished_ || !mosq_) return;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long long>(maxWaitSeconds * 1000));
    while (std::chrono::steady_clock::now() < deadline && connected_ &&
           (!queue_.empty() || !status_.empty() || ReadingsUnacknowledged() > 0)) {
      Flush();
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      lock.lock();
    }
    TellTrouble();
    dropped_ += static_cast<long long>(queue_.size()) + ReadingsUnacknowledged();
    queue_.clear();
    finished_ = true;
    Disconnect();
    RecordCounts(recordPath_);
  }

  PublishCounts Counts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return CountsLocked();
  }

  const MqttSettings& Settings() const { return settings_; }

 private:
  static void OnConnect(mosquitto*, void* self, int rc) {
    auto* connection = static_cast<Connection*>(self);
    if (rc == 0) {
      connection->connected_ = true;
    } else {
      connection->NoteTrouble(ReasonOfRefusal(rc));
    }
  }
  static void OnDisconnect(mosquitto*, void* self, int rc) {
    auto* connection = static_cast<Connection*>(self);
    connection->connected_ = false;
    if (rc != 0) connection->NoteTrouble("the connection was lost");
  }
  static void OnPublish(mosquitto*, void* self, int mid) {
    auto* connection = static_cast<Connection*>(self);
    std::lock_guard<std::mutex> lock(connection->ackMutex_);
    if (connection->statusMids_.erase(mid) == 0) ++connection->readingsAcknowledged_;
  }

  // Once: a thread that has a connection ends after sending the disconnect.
  void Disconnect() {
    if (disconnectAsked_) return;
    disconnectAsked_ = true;
    endsByItself_ = connected_;
    mosquitto_disconnect(mosq_);
  }

  std::string StatusTopic() const { return settings_.broker.prefix + "/status"; }
  std::string ReadingTopic() const { return settings_.broker.prefix + "/reading"; }

  PublishCounts CountsLocked() const {
    PublishCounts counts;
    counts.readingsPublished = readingsPublished_;
    counts.readingsDropped = dropped_;
    return counts;
  }

  std::string StatusPayload(const RunSnapshot& snapshot, const std::string& state) const {
    return StatusJson(snapshot, state, settings_.bench, CountsLocked());
  }

  // The state's acknowledgements are told apart from the readings' by their
  // message ids, noted before the acknowledgement can come.
  bool Send(const std::string& topic, const std::string& payload, bool isStatus) {
    std::lock_guard<std::mutex> lock(ackMutex_);
    int mid = 0;
    const int rc =
        mosquitto_publish(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), kQos, isStatus);
    if (rc != MOSQ_ERR_SUCCESS) return false;
    if (isStatus) statusMids_.insert(mid);
    return true;
  }

  long long ReadingsUnacknowledged() {
    std::lock_guard<std::mutex> lock(ackMutex_);
    return readingsPublished_ - readingsAcknowledged_;
  }

  // Hands what waits to libmosquitto while the broker is there.
  void Flush() {
    if (!mosq_ || !connected_) return;
    while (!queue_.empty()) {
      if (!Send(ReadingTopic(), queue_.front(), false)) return;
      ++readingsPublished_;
      queue_.pop_front();
    }
    if (!status_.empty() && Send(StatusTopic(), status_, true)) status_.clear();
  }

  // From any thread: the first trouble is kept for the next TellTrouble.
  void NoteTrouble(const std::string& reason) {
    std::lock_guard<std::mutex> lock(troubleMutex_);
    if (troubleNoted_) return;
    troubleNoted_ = true;
    trouble_ = reason;
  }

  void TellTrouble() {
    std::string reason;
    {
      std::lock_guard<std::mutex> lock(troubleMutex_);
      if (trouble_.empty()) return;
      reason.swap(trouble_);
    }
    if (warn_) {
      warn_("warning: cannot publish to the MQTT broker " + settings_.broker.BrokerText() + " (" + reason +
            "); the run goes on and the data file is complete. Readings wait for the broker, " +
            std::to_string(settings_.queueLimit) + " at most.");
    }
  }

  void RecordCounts(const std::string& recordPath) {
    std::string error;
    if (!AddToRunRecord(recordPath, settings_, CountsLocked(), error) && warn_) {
      warn_("warning: cannot add the MQTT counts to the run record " + recordPath + ": " + error);
    }
  }

  const MqttSettings settings_;
  const WarningSink warn_;
  mosquitto* mosq_ = nullptr;
  std::atomic<bool> connected_{false};
  bool disconnectAsked_ = false;  // by Finish, or else by the destructor
  bool endsByItself_ = false;     // the disconnect was asked while connected
  std::mutex ackMutex_;           // the two below, and each publish
  std::set<int> statusMids_;
  long long readingsAcknowledged_ = 0;

  std::mutex mutex_;  // everything below, and the publishing
  SnapshotChanges changes_;
  std::deque<std::string> queue_;    // readings not yet handed to libmosquitto
  std::string status_;               // the state not yet handed over; empty when it was
  long long readingsPublished_ = 0;  // handed over
  long long dropped_ = 0;
  std::string recordPath_;
  bool finished_ = false;

  std::mutex troubleMutex_;
  bool troubleNoted_ = false;
  std::string trouble_;
};

MqttPublisher::MqttPublisher(const MqttSettings& settings, WarningSink warn)
    : connection_(std::make_unique<Connection>(settings, std::move(warn))) {}
MqttPublisher::~MqttPublisher() = default;
void MqttPublisher::OnSnapshot(const SnapshotPtr& snapshot) { connection_->OnSnapshot(snapshot); }
void MqttPublisher::RunFailed(const SnapshotPtr& snapshot) { connection_->RunFailed(snapshot); }
void MqttPublisher::Finish(double maxWaitSeconds) { connection_->Finish(maxWaitSeconds); }
PublishCounts MqttPublisher::Counts() const { return connection_->Counts(); }
const MqttSettings& MqttPublisher::Settings() const { return connection_->Settings(); }
