#include "programs/common/publish_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "process/host_name.h"

namespace {

// Finds "--name VALUE" or "--name=VALUE" at args[i]; removes it and stores
// the value. `missing` is set when the value is not there.
bool TakeOption(std::vector<std::string>& args, std::size_t i, const std::string& name, std::string& value,
                bool& missing) {
  const std::string& arg = args[i];
  if (arg == name) {
    if (i + 1 >= args.size()) {
      missing = true;
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
    value = args[i + 1];
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    return true;
  }
  if (arg.rfind(name + "=", 0) == 0) {
    value = arg.substr(name.size() + 1);
    args.erase(args.begin() + static_cast<long>(i));
    return true;
  }
  return false;
}

bool ReadPasswordFile(const std::string& path, std::string& password) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::getline(in, password);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return true;
}

}  // namespace

std::string ExtractPublishOptions(std::vector<std::string>& args, bool stdoutAllowed, PublishOptions& options) {
  std::string url, caFile, passwordFile, bench, stdoutFormat;
  bool gotUrl = false, gotPasswordFile = false, gotBench = false, gotStdout = false;
  struct Wanted {
    const char* name;
    std::string* value;
    bool* given;
  };
  bool gotCaFile = false;
  std::vector<Wanted> wanted = {{"--mqtt", &url, &gotUrl},
                                {"--mqtt-cafile", &caFile, &gotCaFile},
                                {"--mqtt-password-file", &passwordFile, &gotPasswordFile},
                                {"--bench", &bench, &gotBench}};
  if (stdoutAllowed) wanted.push_back({"--stdout", &stdoutFormat, &gotStdout});
  for (std::size_t i = 0; i < args.size();) {
    if (args[i] == "--") break;
    bool taken = false;
    for (const Wanted& option : wanted) {
      bool missing = false;
      if (!TakeOption(args, i, option.name, *option.value, missing)) continue;
      if (missing) return std::string(option.name) + " needs a value.";
      *option.given = true;
      taken = true;
      break;
    }
    if (!taken) ++i;
  }

  options.bench = gotBench ? bench : HostName();
  if (options.bench.empty()) return "--bench: please give a name for this bench.";
  if (gotStdout) {
    if (stdoutFormat == "jsonl") {
      options.stdoutLines = StdoutLines::Jsonl;
    } else if (stdoutFormat == "influx") {
      options.stdoutLines = StdoutLines::Influx;
    } else {
      return "--stdout: please choose jsonl or influx.";
    }
  }
  if (!gotUrl) {
    if (gotCaFile || gotPasswordFile) return "--mqtt-cafile and --mqtt-password-file need --mqtt.";
    return "";
  }
  std::string error;
  if (!ParseBrokerAddress(url, options.mqttSettings.broker, error)) return error;
  options.mqtt = true;
  options.mqttSettings.caFile = caFile;
  options.mqttSettings.bench = options.bench;
  if (gotPasswordFile) {
    if (!ReadPasswordFile(passwordFile, options.mqttSettings.password)) {
      return "--mqtt-password-file: cannot read " + passwordFile + ": " + std::strerror(errno) + ".";
    }
  } else if (const char* password = std::getenv("IVRA_MQTT_PASSWORD")) {
    options.mqttSettings.password = password;
  }
  return "";
}

std::string PublishUsage(bool stdoutAllowed) {
  std::string text =
      "  --mqtt mqtt://[USER@]HOST[:PORT]/TOPIC/PREFIX\n"
      "                      publish each reading to PREFIX/reading and the run's state\n"
      "                      to PREFIX/status (retained); mqtts:// for TLS\n"
      "  --mqtt-cafile FILE  the CA certificate that signed the broker's (mqtts://)\n"
      "  --mqtt-password-file FILE\n"
      "                      the broker password, first line of FILE (or set\n"
      "                      IVRA_MQTT_PASSWORD); never on the command line\n"
      "  --bench NAME        this bench's name in published readings (default: host name)\n";
  if (stdoutAllowed) {
    text +=
        "  --stdout jsonl|influx\n"
        "                      also write each reading to stdout, as a JSON line or an\n"
        "                      InfluxDB line-protocol point\n";
  }
  return text;
}
