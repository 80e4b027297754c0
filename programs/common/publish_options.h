// The options both measuring programs share for handing readings on:
//   --mqtt mqtt://[USER@]HOST[:PORT]/TOPIC/PREFIX (or mqtts://), --mqtt-cafile FILE,
//   --mqtt-password-file FILE (or IVRA_MQTT_PASSWORD), --bench NAME,
// and, for ivra-run only, --stdout jsonl|influx. They are taken out of the
// arguments before each program's own parser sees the rest.
#pragma once

#include <string>
#include <vector>

#include "publish/mqtt_publisher.h"

enum class StdoutLines { None, Jsonl, Influx };

struct PublishOptions {
  bool mqtt = false;          // --mqtt was given
  MqttSettings mqttSettings;  // its broker, password, CA file and bench
  StdoutLines stdoutLines = StdoutLines::None;
  std::string bench;  // --bench, or the host name
};

// Takes the options above out of `args` (both "--opt VALUE" and "--opt=VALUE")
// into `options`. Returns an error naming the option, or "" when all is well.
// The password is read here, from the file or IVRA_MQTT_PASSWORD.
std::string ExtractPublishOptions(std::vector<std::string>& args, bool stdoutAllowed, PublishOptions& options);

// The lines --help adds for these options.
std::string PublishUsage(bool stdoutAllowed);
