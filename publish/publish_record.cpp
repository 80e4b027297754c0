// What the publisher leaves behind: a line for the summary and its counts in
// the run record.
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "publish/mqtt_publisher.h"
#include "run/run_record.h"

std::string PublishSummary(const MqttSettings& settings, const PublishCounts& counts) {
  return "mqtt: " + std::to_string(counts.readingsPublished) + " readings published to " +
         settings.broker.BrokerText() + ", " + std::to_string(counts.readingsDropped) + " dropped";
}

bool AddToRunRecord(const std::string& recordPath, const MqttSettings& settings, const PublishCounts& counts,
                    std::string& error) {
  if (recordPath.empty()) return true;
  std::ifstream in(recordPath, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  nlohmann::ordered_json record = nlohmann::ordered_json::parse(text.str(), nullptr, false);
  if (!in || record.is_discarded() || !record.is_object()) {
    error = "it cannot be read back";
    return false;
  }
  record["mqtt"] = {{"broker", settings.broker.BrokerText()},
                    {"topic_prefix", settings.broker.prefix},
                    {"bench", settings.bench},
                    {"readings_published", counts.readingsPublished},
                    {"readings_dropped", counts.readingsDropped}};
  return ReplaceFileAtomically(recordPath, record.dump(2) + "\n", error);
}
