#include "run/measurement_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <vector>

#include "connection/connection_link.h"
#include "datafile/data_line.h"
#include "instrument/instrument_protocol.h"
#include "instrument/instrument_setup.h"
#include "process/host_name.h"
#include "serial/serial_link.h"

namespace {

// How long Start waits for the line frequency's answer.
constexpr int kLineFrequencyWaitMs = 1000;
// On a grid: the least time between two replacements of the run record.
constexpr std::int64_t kGridRecordPeriodMs = 1000;
// The least time between two syncs of the data file to the disk: a power cut
// costs at most this much of the run, and the disk is not asked on every sample.
constexpr std::int64_t kDataSyncPeriodMs = 1000;

std::string WallClockNow() { return WallClockText(std::chrono::system_clock::now()); }

MissReason ReasonFor(ReplyVerdict verdict) {
  switch (verdict) {
    case ReplyVerdict::NoReply: return MissReason::NoReply;
    case ReplyVerdict::Incomplete: return MissReason::Incomplete;
    case ReplyVerdict::Overflow: return MissReason::Overflow;
    case ReplyVerdict::Garbled: return MissReason::Garbled;
    case ReplyVerdict::LineError: return MissReason::LineError;
    default: return MissReason::NoReading;
  }
}

}  // namespace

MeasurementRun::MeasurementRun()
    : MeasurementRun(std::make_unique<ConnectionInstrumentLink>(), std::make_unique<ProcessClock>()) {}

MeasurementRun::MeasurementRun(std::unique_ptr<InstrumentLink> link, std::unique_ptr<Clock> clock)
    : link_(std::move(link)), clock_(std::move(clock)), portLister_(ListSerialPorts) {
  Publish();
}

MeasurementRun::~MeasurementRun() = default;

SnapshotPtr MeasurementRun::Snapshot() const {
  std::lock_guard<std::mutex> lock(snapshotMutex_);
  return snapshot_;
}

double MeasurementRun::Elapsed() { return clock_->NowSeconds() - startTime_; }

SnapshotPtr MeasurementRun::MakeSnapshot() {
  auto snapshot = std::make_shared<RunSnapshot>();
  if (measuring_) {
    snapshot->state = portLost_ ? RunState::PortLost : RunState::Running;
    snapshot->elapsedSeconds = Elapsed();
  } else if (ended_) {
    snapshot->state = RunState::Ended;
    snapshot->elapsedSeconds = record_.endAt;
  }
  snapshot->endReason = record_.endReason;
  snapshot->endSignal = record_.signalNumber;
  snapshot->endedWithPortLost = endedWithPortLost_;
  snapshot->settings = settings_;
  snapshot->tickCount = tickCount_;
  snapshot->latest = latest_;
  snapshot->history = history_;
  snapshot->counters = counters_;
  if (recordWanted_) snapshot->recordPath = RunRecordPath(settings_.outputPath);
  snapshot->recordWriteError = record_.writeError;
  snapshot->setVoltage = setVoltage_;
  snapshot->stepInForce = bias_.HasStep();
  snapshot->step = bias_.Step();
  snapshot->rampingDown = rampingDown_;
  return snapshot;
}

SnapshotPtr MeasurementRun::Publish() {
  SnapshotPtr snapshot = MakeSnapshot();
  {
    std::lock_guard<std::mutex> lock(snapshotMutex_);
    snapshot_ = snapshot;
  }
  if (snapshotListener_) snapshotListener_(snapshot);
  return snapshot;
}

void MeasurementRun::Redraw(RunObserver& frontEnd) {
  Publish();
  frontEnd.Redraw();
}

void MeasurementRun::WriteRunRecord(RunObserver& frontEnd) {
  if (!recordWanted_) return;
  // On a grid troubles can come tens of times a second, and each replacement
  // syncs the disk: that pause would make the next slots late in turn. The
  // record is replaced at most once a second while measuring; the next slot
  // after that second catches up, and the end writes it whole.
  if (measuring_ && SamplesOnGrid(settings_)) {
    const std::int64_t now = clock_->NowMs();
    if (recordWrittenMs_ >= 0 && now - recordWrittenMs_ < kGridRecordPeriodMs) {
      recordPending_ = true;
      return;
    }
    recordWrittenMs_ = now;
  }
  recordPending_ = false;
  std::string error;
  if (ReplaceFileAtomically(RunRecordPath(settings_.outputPath), RunRecordJson(record_, settings_, counters_), error)) {
    record_.writeError.clear();
    recordFailureShown_ = false;
    return;
  }
  // A warning only: the data file matters more than its record.
  record_.writeError = error;
  if (!recordFailureShown_) {
    recordFailureShown_ = true;
    frontEnd.ReportTrouble(SampleTrouble::RecordNotWritten, Publish());
  }
}

void MeasurementRun::Report(RunObserver& frontEnd, SampleTrouble trouble) {
  frontEnd.ReportTrouble(trouble, Publish());
  WriteRunRecord(frontEnd);
}

// Logging the previous values again would pass them off as a fresh sample:
// nothing is stored, and the next due tick tries again.
void MeasurementRun::Miss(RunObserver& frontEnd, MissReason reason, int count) {
  RunCounters& c = counters_;
  c.missedSamples += count;
  c.missedByReason[static_cast<int>(reason)] += count;
  c.lastMissReason = reason;
  c.noReplyStreak = reason == MissReason::NoReply ? c.noReplyStreak + 1 : 0;
  const SnapshotPtr snapshot = Publish();
  frontEnd.ReportTrouble(SampleTrouble::Missed, snapshot);
  if (c.noReplyStreak == kSilentSampleLimit) frontEnd.ReportTrouble(SampleTrouble::InstrumentSilent, snapshot);
  WriteRunRecord(frontEnd);
  Redraw(frontEnd);  // the missed count is on the display
}

void MeasurementRun::MarkPortLost(RunObserver& frontEnd) {
  if (portLost_) return;
  portLost_ = true;
  // Closed at once: a USB adapter plugged in again gets its old name back only
  // once nobody holds the old one.
  link_->Close();
  ++counters_.portLosses;
  counters_.noReplyStreak = 0;
  record_.portLosses.push_back(PortLossTimes{Elapsed(), WallClockNow(), -1.0, {}});
  Report(frontEnd, SampleTrouble::PortLost);
}

// The same port with the same settings, settle time and drain. The instrument
// kept its state; the sample that follows sends the voltage again.
bool MeasurementRun::ReopenPort(RunObserver& frontEnd) {
  if (!link_->Open(settings_.portPath, nullptr)) return false;
  portLost_ = false;
  voltagePending_ = true;
  if (!record_.portLosses.empty()) {
    record_.portLosses.back().backAt = Elapsed();
    record_.portLosses.back().backAtClock = WallClockNow();
  }
  Report(frontEnd, SampleTrouble::PortBack);
  return true;
}

// ":OUTP OFF\r", then the close that waits for it to leave the port.
bool MeasurementRun::SendOutputOffAndClose() {
  const bool delivered = SendCommand(*link_, kOutputOffCommand) && !link_->Lost();
  link_->Close();
  return delivered && !link_->Lost();
}

int MeasurementRun::FailFileNotCreated(RunObserver& frontEnd, const FileCreateError& createError) {
  Publish();
  StartFailure failure;
  failure.kind = StartFailure::Kind::FileNotCreated;
  failure.outputPath = settings_.outputPath;
  failure.fileError = createError;
  frontEnd.ShowStartFailure(failure);
  return 1;
}

bool MeasurementRun::OpenLinkForStart(RunObserver& frontEnd) {
  PortOpenError openError;
  link_->SetBaudRate(settings_.instrument.baud);
  link_->SetLineFormat(settings_.instrument.lineFormat);
  link_->SetGpibAddress(settings_.gpibAddress);
  replyForm_ = ReplyFormFor(settings_.instrument, SamplesOnGrid(settings_));
  if (link_->Open(settings_.portPath, &openError)) return true;
  openError.path = settings_.portPath;
  std::vector<SerialPortInfo> detected;
  if (openError.problem == PortOpenProblem::NoSuchDevice && portLister_) detected = portLister_();
  dataFile_.Release();
  Publish();
  StartFailure failure;
  failure.kind = StartFailure::Kind::PortNotOpened;
  failure.outputPath = settings_.outputPath;
  failure.portError = openError;
  failure.detectedPorts = std::move(detected);
  frontEnd.ShowStartFailure(failure);
  return false;
}

void MeasurementRun::ResetRunState() {
  history_.Clear();
  portLost_ = false;
  complianceStreakOpen_ = false;
  endedWithPortLost_ = false;
  tickCount_ = 0;
  startMs_ = clock_->NowMs();
  startTime_ = static_cast<double>(startMs_) / 1000.0;
  nextSlot_ = 1;
  voltagePending_ = false;
  bias_.Reset(settings_.bias, settings_.outputVoltage, IntervalMs(settings_));
  setVoltage_ = 0.0;
  sentVoltage_ = 0.0;
  rampingDown_ = false;
  recordWrittenMs_ = -1;
  recordPending_ = false;
  dataSyncedMs_ = -1;
}

void MeasurementRun::NoteProcess(std::chrono::system_clock::time_point start) {
  record_.pid = ProcessId();
  record_.host = HostName();
  record_.bootId = BootId();
  record_.plannedEndClock = WallClockText(start + std::chrono::seconds(settings_.measurementTime));
}

bool MeasurementRun::SetUpInstrument(RunObserver& frontEnd) {
  const bool onGrid = SamplesOnGrid(settings_);
  SendCommand(*link_, kResetCommand);
  if (onGrid && !CheckLeastInterval(frontEnd)) return false;
  if (!PutSettingsInForce(frontEnd)) return false;
  SendCommand(*link_, kOutputOnCommand);
  if (onGrid) {
    // Once, not before every read: the voltage does not change during a run.
    // With steps or a ramp it changes on samples, which send it then.
    if (settings_.bias.Any()) {
      voltagePending_ = true;
    } else {
      SendCommandAtOnce(*link_, FormatSetVoltageCommand(settings_.outputVoltage).c_str());
    }
    // The grid counts from here: the settings' exchange is no sample's time.
    startMs_ = clock_->NowMs();
    startTime_ = static_cast<double>(startMs_) / 1000.0;
  }
  return true;
}

void MeasurementRun::List(bool running) {
  if (recordWanted_ && listingListener_) listingListener_(RunRecordPath(settings_.outputPath), running);
}

int MeasurementRun::Begin(const MeasurementSettings& accepted, RunObserver& frontEnd) {
  // The accepted values stay, also when a later step fails: the next Setup
  // dialog offers the port that was chosen last, and a reopen of a lost port
  // goes to the same device.
  settings_ = accepted;

  // Locked before it is emptied: the file of a measurement running elsewhere stays as it is.
  FileCreateError createError;
  if (!dataFile_.Create(settings_.outputPath, &createError)) return FailFileNotCreated(frontEnd, createError);
  if (!OpenLinkForStart(frontEnd)) return 1;

  ResetRunState();
  counters_ = RunCounters{};
  record_ = RunRecord{};
  const auto start = std::chrono::system_clock::now();
  record_.startClock = WallClockText(start);
  record_.portPath = settings_.portPath;
  NoteProcess(start);
  measuring_ = true;
  if (!SetUpInstrument(frontEnd)) return 1;

  std::error_code ignored;
  recordWanted_ = std::filesystem::is_regular_file(settings_.outputPath, ignored);
  recordFailureShown_ = false;
  WriteRunRecord(frontEnd);
  List(true);
  Redraw(frontEnd);
  return 0;
}

int MeasurementRun::Resume(const ResumePlan& plan, RunObserver& frontEnd) {
  settings_ = plan.settings;
  FileCreateError createError;
  long long cutBytes = 0;
  if (!dataFile_.Continue(settings_.outputPath, &createError, &cutBytes)) {
    return FailFileNotCreated(frontEnd, createError);
  }
  if (!OpenLinkForStart(frontEnd)) return 1;

  ResetRunState();
  counters_ = plan.counters;
  counters_.noReplyStreak = 0;
  record_ = plan.record;
  record_.ended = false;
  record_.endInterrupted = false;
  record_.outputOffDelivered = -1;
  record_.recoveredClock.clear();
  record_.writeError.clear();
  record_.portPath = settings_.portPath;
  NoteProcess(plan.start);
  measuring_ = true;
  if (!SetUpInstrument(frontEnd)) return 1;

  // The run's own time base: elapsed from the first start by the wall clock,
  // never below the last line's, so that the times in the file go on rising.
  const double sinceStart = std::chrono::duration<double>(std::chrono::system_clock::now() - plan.start).count();
  const std::int64_t elapsedMs =
      static_cast<std::int64_t>(std::ceil(std::max({sinceStart, plan.lastLineElapsed, 0.0}) * 1000.0));
  startMs_ = clock_->NowMs() - elapsedMs;
  startTime_ = static_cast<double>(startMs_) / 1000.0;
  // The due samples up to now; the next one falls after the last line.
  std::int64_t due = 0;
  if (SamplesOnGrid(settings_)) {
    due = elapsedMs / IntervalMs(settings_);
    nextSlot_ = due + 1;
    tickCount_ = static_cast<int>(due);
  } else {
    tickCount_ = static_cast<int>(elapsedMs / 1000);
    due = settings_.sampleInterval > 0 ? tickCount_ / settings_.sampleInterval : 0;
  }
  const int missed =
      static_cast<int>(std::max<std::int64_t>(0, due - counters_.samplesTaken - counters_.missedSamples));
  record_.resumes.push_back(ResumeEntry{WallClockNow(), static_cast<double>(elapsedMs) / 1000.0, missed, cutBytes});
  if (cutBytes > 0) ++record_.tornLinesCut;

  std::error_code ignored;
  recordWanted_ = std::filesystem::is_regular_file(settings_.outputPath, ignored);
  recordFailureShown_ = false;
  // The miss writes the record with its count; the record is written either way.
  if (missed > 0) {
    Miss(frontEnd, MissReason::Interrupted, missed);
  } else {
    WriteRunRecord(frontEnd);
  }
  List(true);
  Redraw(frontEnd);
  return 0;
}

// The settings that differ from the reset defaults, then one error query:
// a setting the instrument refused fails the Start before its output is on.
// The instrument's own line frequency decides what NPLC costs: an interval
// its settings cannot carry fails the Start before the output goes on.
bool MeasurementRun::CheckLeastInterval(RunObserver& frontEnd) {
  SendCommand(*link_, kLineFrequencyQuery);
  char exchange[kExchangeBufferSize];
  const int received = ReadReplyLine(*link_, exchange, kLineFrequencyWaitMs);
  int hz = ReadLineFrequencyReply(exchange, received);
  if (hz == 0) hz = 50;  // no answer: the slower of the two
  lineHz_ = hz;
  if (LeastIntervalMs(settings_.instrument, hz) <= settings_.sampleIntervalMs) return true;
  measuring_ = false;
  link_->Close();
  dataFile_.Release();
  Publish();
  StartFailure failure;
  failure.kind = StartFailure::Kind::IntervalTooShort;
  failure.outputPath = settings_.outputPath;
  failure.portPath = settings_.portPath;
  failure.baud = settings_.instrument.baud;
  failure.lineHz = hz;
  failure.intervalMs = settings_.sampleIntervalMs;
  failure.instrument = settings_.instrument;
  frontEnd.ShowStartFailure(failure);
  return false;
}

bool MeasurementRun::PutSettingsInForce(RunObserver& frontEnd) {
  std::vector<std::string> commands = InstrumentSettingCommands(settings_.instrument);
  // Before the error query, so that an instrument that refuses it fails the Start.
  if (SamplesOnGrid(settings_)) commands.push_back(kShortReplyCommand);
  if (commands.empty()) return true;
  for (const std::string& command : commands) SendCommand(*link_, command.c_str());
  SendCommand(*link_, kErrorQueryCommand);
  char exchange[kExchangeBufferSize];
  const int received = ReadResponse(*link_, *clock_, exchange);
  const ErrorQueryReply reply = ReadErrorQueryReply(exchange, received);
  if (reply.answered && reply.number == 0) return true;
  measuring_ = false;
  link_->Close();
  dataFile_.Release();  // empty, as after a port that would not open
  Publish();
  StartFailure failure;
  failure.kind = StartFailure::Kind::SettingsNotTaken;
  failure.outputPath = settings_.outputPath;
  failure.settingsReply = reply;
  failure.portPath = settings_.portPath;
  failure.baud = settings_.instrument.baud;
  failure.lineFormat = settings_.instrument.lineFormat;
  frontEnd.ShowStartFailure(failure);
  return false;
}

void MeasurementRun::Tick(RunObserver& frontEnd) {
  if (!measuring_) {
    if (tickCount_ != 0) {
      tickCount_ = 0;
      Publish();
    }
    return;
  }
  if (SamplesOnGrid(settings_)) return;  // SampleSlot keeps the time
  ++tickCount_;
  // On the way down the samples go on past the measurement time.
  if (tickCount_ > settings_.measurementTime && !rampingDown_ && StopAfterRampDown(frontEnd, RunEndReason::Completed)) {
    return;
  }
  // An interval below 1 never comes from the checked settings; it takes no sample
  // rather than dividing by zero.
  if (settings_.sampleInterval < 1 || tickCount_ % settings_.sampleInterval != 0) {
    Publish();
    return;
  }
  TakeSample(frontEnd);
}

bool MeasurementRun::PrepareSample(RunObserver& frontEnd) {
  if (!portLost_) {
    // Bytes waiting now belong to an earlier reply (too long, or cut by a
    // pause) and would be read as this one's. With nothing waiting this costs
    // one query of the driver and sends nothing.
    const int stale = link_->DiscardInput();
    if (link_->Lost()) {
      MarkPortLost(frontEnd);
    } else if (stale > 0) {
      ++counters_.staleReplies;
      counters_.staleBytes += stale;
      counters_.lastStaleBytes = stale;
      Report(frontEnd, SampleTrouble::StaleReply);
    }
  }
  if (portLost_ && !ReopenPort(frontEnd)) {
    Miss(frontEnd, MissReason::PortLost);
    return false;
  }
  return true;
}

void MeasurementRun::TakeSample(RunObserver& frontEnd) {
  if (!PrepareSample(frontEnd)) {
    StopIfDown(frontEnd);
    return;
  }
  char exchange[kExchangeBufferSize];
  const double volts = NextSetVoltage(static_cast<std::int64_t>(tickCount_) * 1000);
  SendCommand(*link_, FormatSetVoltageCommand(volts).c_str());
  SendCommand(*link_, kReadCommand);
  const int received = ReadResponse(*link_, *clock_, exchange);
  // Read after the reply: the time includes the commands' and the reply's latency.
  FinishSample(frontEnd, exchange, received, -1.0, 2);
  StopIfDown(frontEnd);
}

double MeasurementRun::NextSetVoltage(std::int64_t dueMs) {
  if (!settings_.bias.Any()) return settings_.outputVoltage;
  setVoltage_ = rampingDown_ ? bias_.ForRampDown() : bias_.ForSample(dueMs);
  if (bias_.StepChanged()) {
    const StepInForce& step = bias_.Step();
    const int sample = counters_.samplesTaken + counters_.missedSamples + 1;
    record_.stepChanges.push_back(StepChange{sample, Elapsed(), WallClockNow(), step.step, step.pass, step.volts});
  }
  return setVoltage_;
}

void MeasurementRun::StopIfDown(RunObserver& frontEnd) {
  if (measuring_ && rampingDown_ && (bias_.AtZero() || portLost_)) Stop(frontEnd, rampDownReason_, rampDownSignal_);
}

bool MeasurementRun::StopAfterRampDown(RunObserver& frontEnd, RunEndReason reason, int signalNumber) {
  if (!measuring_) return true;
  // Asked twice, or nothing to bring down, or no port to do it with: off at once.
  if (rampingDown_ || !settings_.bias.HasRamp() || bias_.AtZero() || portLost_) {
    // Stopped, whether or not the output could be confirmed off.
    Stop(frontEnd, rampingDown_ ? rampDownReason_ : reason, rampingDown_ ? rampDownSignal_ : signalNumber);
    return true;
  }
  rampingDown_ = true;
  rampDownReason_ = reason;
  rampDownSignal_ = signalNumber;
  record_.rampDownAt = Elapsed();
  record_.rampDownAtClock = WallClockNow();
  record_.rampDownFrom = setVoltage_;
  WriteRunRecord(frontEnd);
  Redraw(frontEnd);
  return false;
}

void MeasurementRun::SampleSlot(RunObserver& frontEnd) {
  if (!OnGrid()) return;
  const std::int64_t interval = IntervalMs(settings_);
  const std::int64_t now = clock_->NowMs();
  std::int64_t slot = (now - startMs_) / interval;
  if (slot < nextSlot_) return;  // not due yet
  const std::int64_t lastSlot = static_cast<std::int64_t>(settings_.measurementTime) * 1000 / interval;
  const bool over = !rampingDown_ && slot > lastSlot;
  if (over) slot = lastSlot + 1;
  // The slots between the last one served and this one passed while a sample was being read.
  if (slot > nextSlot_) {
    tickCount_ = static_cast<int>(slot - 1);
    Miss(frontEnd, MissReason::Late, static_cast<int>(slot - nextSlot_));
  }
  nextSlot_ = slot + 1;
  // With a ramp the slot past the end is the way down's first.
  if (over && StopAfterRampDown(frontEnd, RunEndReason::Completed)) return;
  tickCount_ = static_cast<int>(slot);
  if (recordPending_) WriteRunRecord(frontEnd);
  if (!PrepareSample(frontEnd)) {
    StopIfDown(frontEnd);
    return;
  }
  const double volts = NextSetVoltage(slot * interval);
  // Only a change goes on the line: each command costs the slot its time.
  if (voltagePending_ || (settings_.bias.Any() && volts != sentVoltage_)) {
    SendCommandAtOnce(*link_, FormatSetVoltageCommand(volts).c_str());
    voltagePending_ = false;
    sentVoltage_ = volts;
  }
  char exchange[kExchangeBufferSize];
  // The instrument reads on the request: that moment is the sample's time.
  const double stamp = Elapsed();
  SendCommandAtOnce(*link_, kReadCommand);
  // The reply cannot be whole before the request's and its own characters are
  // through the line and the reading is done: sleeping until a millisecond
  // before that wakes the loop once or twice for the reply rather than once
  // for each burst the port hands on, which is most of the CPU a sample costs.
  const int replyDueMs = static_cast<int>(ShortSampleMs(settings_.instrument, lineHz_)) - 1;
  if (replyDueMs > 0) clock_->DelayMs(replyDueMs);
  // Twice the interval without a byte is no reply; the slots it spans are late.
  const int received = ReadReplyLine(*link_, exchange, static_cast<int>(std::max<std::int64_t>(2 * interval, 100)));
  FinishSample(frontEnd, exchange, received, stamp, 3);
  StopIfDown(frontEnd);
}

void MeasurementRun::FinishSample(RunObserver& frontEnd, const char* exchange, int received, double stamp,
                                  int timeDecimals) {
  LatestReading reading = latest_;
  int staleAfterReply = 0;
  const ReplyVerdict verdict = JudgeReply(exchange, received, reading, &staleAfterReply, replyForm_);
  if (staleAfterReply > 0) {
    // Bytes after the reply's line end belong to no reply this sample asked for.
    ++counters_.staleReplies;
    counters_.staleBytes += staleAfterReply;
    counters_.lastStaleBytes = staleAfterReply;
  }
  if (link_->Lost()) MarkPortLost(frontEnd);
  if (verdict != ReplyVerdict::Reading) {
    // A reply cut short by the line going down is the lost port's doing.
    Miss(frontEnd, portLost_ && verdict != ReplyVerdict::Overflow ? MissReason::PortLost : ReasonFor(verdict));
    return;
  }
  counters_.noReplyStreak = 0;

  reading.aux3 = 0.0;
  reading.aux4 = 0.0;
  reading.time = stamp >= 0 ? stamp : Elapsed();
  latest_ = reading;

  const bool logged = dataFile_.Append(
      settings_.bias.Any() ? FormatDataLineWithVolts(reading.time, reading.current, setVoltage_, timeDecimals)
                           : FormatDataLine(reading.time, reading.current, timeDecimals));
  if (logged) SyncDataFileWhenDue();
  history_.Append(latest_);
  ++counters_.samplesTaken;
  if (reading.inCompliance) {
    NoteCompliance(frontEnd);
  } else {
    complianceStreakOpen_ = false;
  }
  if (!logged) {
    ++counters_.lostLines;
    Report(frontEnd, SampleTrouble::Lost);
  }
  Redraw(frontEnd);
}

// The line is written as measured; the count, the streak and the warning say
// that the current was held at the limit, not drawn by the device.
void MeasurementRun::NoteCompliance(RunObserver& frontEnd) {
  ++counters_.samplesInCompliance;
  const int sample = counters_.samplesTaken + counters_.missedSamples;
  const std::string clock = WallClockNow();
  if (complianceStreakOpen_ && !record_.complianceStreaks.empty()) {
    ComplianceStreak& streak = record_.complianceStreaks.back();
    streak.lastSample = sample;
    streak.lastAt = latest_.time;
    streak.lastAtClock = clock;
    return;
  }
  complianceStreakOpen_ = true;
  ++counters_.complianceStreaks;
  record_.complianceStreaks.push_back(ComplianceStreak{sample, latest_.time, clock, sample, latest_.time, clock});
  Report(frontEnd, SampleTrouble::InCompliance);
}

bool MeasurementRun::Stop(RunObserver& frontEnd, RunEndReason reason, int signalNumber) {
  if (!measuring_) return true;
  const bool lostAtStop = portLost_;
  bool delivered = !portLost_ && SendOutputOffAndClose();
  bool reopened = false;
  // Once more on the port opened anew: the adapter may be back, or the line
  // went down during the stop itself.
  if (!delivered && link_->Open(settings_.portPath, nullptr)) {
    reopened = true;
    delivered = SendOutputOffAndClose();
  }
  measuring_ = false;
  portLost_ = false;
  rampingDown_ = false;
  ended_ = true;
  endedWithPortLost_ = (lostAtStop && !reopened) || link_->Lost();
  dataFile_.Sync();
  dataFile_.Release();

  record_.ended = true;
  record_.endReason = reason;
  record_.signalNumber = signalNumber;
  record_.endAt = Elapsed();
  record_.endClock = WallClockNow();
  record_.outputOffDelivered = delivered ? 1 : 0;
  WriteRunRecord(frontEnd);
  List(false);
  Publish();
  if (!delivered) frontEnd.ReportOutputMayBeOn(settings_.portPath);
  return delivered;
}

void MeasurementRun::SyncDataFileWhenDue() {
  const std::int64_t now = clock_->NowMs();
  if (dataSyncedMs_ >= 0 && now - dataSyncedMs_ < kDataSyncPeriodMs) return;
  dataSyncedMs_ = now;
  dataFile_.Sync();
}
