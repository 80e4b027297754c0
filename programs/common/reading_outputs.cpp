#include "programs/common/reading_outputs.h"

#include <chrono>
#include <cstdio>

#include "publish/run_messages.h"

namespace {
constexpr double kFinishWaitSeconds = 10.0;
}

ReadingOutputs::ReadingOutputs(const PublishOptions& options, MqttPublisher::WarningSink warn)
    : stdoutLines_(options.stdoutLines), bench_(options.bench) {
  if (options.mqtt) publisher_ = std::make_unique<MqttPublisher>(options.mqttSettings, std::move(warn));
}

void ReadingOutputs::Listen(MeasurementRun& run) {
  run.SetSnapshotListener([this](const SnapshotPtr& snapshot) { OnSnapshot(snapshot); });
}

void ReadingOutputs::OnSnapshot(const SnapshotPtr& snapshot) {
  if (!snapshot) return;
  if (stdoutLines_ != StdoutLines::None) {
    std::lock_guard<std::mutex> lock(stdoutMutex_);
    if (stdoutChanges_.Next(*snapshot).newSample) {
      const ReadingMessage reading = ReadingOf(*snapshot, std::chrono::system_clock::now());
      const std::string line =
          stdoutLines_ == StdoutLines::Jsonl ? ReadingJson(reading) : ReadingLineProtocol(reading, bench_);
      // One whole line at a time: a collector reads as the run goes.
      std::fprintf(stdout, "%s\n", line.c_str());
      std::fflush(stdout);
    }
  }
  if (publisher_) publisher_->OnSnapshot(snapshot);
}

void ReadingOutputs::RunFailed(const SnapshotPtr& snapshot) {
  if (publisher_) publisher_->RunFailed(snapshot);
}

void ReadingOutputs::Finish() {
  if (publisher_) publisher_->Finish(kFinishWaitSeconds);
}

std::string ReadingOutputs::SummaryLine() const {
  return publisher_ ? PublishSummary(publisher_->Settings(), publisher_->Counts()) : "";
}
