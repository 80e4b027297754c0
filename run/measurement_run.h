// The life of a measurement: Start after the Setup dialog, the once-per-second
// tick, one sample, and Stop. Plain C++: a front end (the desktop view or the
// command-line runner) holds one MeasurementRun, supplies the Setup values and
// the timer ticks, and a RunObserver for failures, troubles and redraws.
//
// Threads: Begin, Tick, TakeSample and Stop are called by one thread at a time
// (the desktop program moves a tick to a worker and collects it before it
// calls the next). After every step the run publishes a RunSnapshot; Snapshot()
// may be called from any thread at any time, and is all a front end reads.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "datafile/data_file.h"
#include "instrument/instrument_link.h"
#include "instrument/instrument_protocol.h"
#include "process/clock.h"
#include "run/run_observer.h"
#include "run/run_record.h"
#include "run/run_snapshot.h"
#include "run/sample_history.h"
#include "serial/port_discovery.h"

class MeasurementRun {
 public:
  // A run on the connection its settings name (a serial port, a serial bridge
  // on the network, a GPIB controller in front of either), timed by the
  // process clock.
  MeasurementRun();
  // A run on `link`, timed by `clock` (tests hand in their own).
  MeasurementRun(std::unique_ptr<InstrumentLink> link, std::unique_ptr<Clock> clock);
  ~MeasurementRun();
  MeasurementRun(const MeasurementRun&) = delete;
  MeasurementRun& operator=(const MeasurementRun&) = delete;

  // Start after the dialog was accepted: takes the settings, creates the output
  // file empty under the run's lock, opens settings.portPath at the
  // instrument's baud rate, clears the history, sets the counters and start
  // time, sends "*RST\r", the commands of the instrument settings that differ
  // from their defaults with one ":SYST:ERR?\r" after them (an error fails
  // the Start with the output off), ":OUTP ON\r", and writes the run record. Returns 0 when the measurement
  // runs and 1 when a step failed (the message has been shown through the
  // front end). The accepted settings are kept either way.
  int Begin(const MeasurementSettings& accepted, RunObserver& frontEnd);

  // Start again a run whose program was gone, from what its record and data
  // file hold: the same file under the run's lock, an unfinished last line cut
  // off, the instrument set up as Begin does, and the run's own time base
  // (elapsed from the first start by the wall clock, never below the last
  // line's). The samples that fell due meanwhile are missed as Interrupted; the
  // counters, the record's lists and the place in the schedule carry on. Returns
  // as Begin; the ticks then go on from TickCount(), the grid from NextSlotMs().
  int Resume(const ResumePlan& plan, RunObserver& frontEnd);

  // Called with the record's path and true once a run is going (after Begin or
  // Resume wrote its first record), and with false when it has ended, so that
  // a front end can list running runs where a later program finds them
  // (recovery/ does). Not called for an output without a record. Set before Begin.
  using ListingListener = std::function<void(const std::string& recordPath, bool running)>;
  void SetListingListener(ListingListener listener) { listingListener_ = std::move(listener); }

  // One timer tick: counts it, stops after the measurement time, samples when
  // due. The automatic stop on tick measurementTime + 1 does not call Redraw.
  // Idle: only resets the tick count.
  void Tick(RunObserver& frontEnd);

  // One sample: discard stale input, set voltage, read request, reply, parse,
  // time stamp, file line, history, redraw. A reply without a usable reading is
  // a missed sample: nothing is logged or stored, the latest reading keeps its
  // values, ReportTrouble(Missed) and Redraw are called. A reading whose line
  // does not reach the file is still stored and drawn; lostLines grows and
  // ReportTrouble(Lost) is called. While the port is lost, each due sample
  // first tries to open it again (same device, same settings).
  void TakeSample(RunObserver& frontEnd);

  // Below a second (SamplesOnGrid): samples fall due at start + k x interval
  // on the run's clock, never on the tick. NextSlotMs is the clock time of
  // the next slot. SampleSlot, called once that time has come, misses the
  // slots that passed while the previous sample was being read (Late, counted
  // together), then samples the latest slot: the voltage only when it is
  // pending (after the output went on or the port came back), ":READ?\r" in
  // one write, the reply read to its line end, the time stamp taken when the
  // request went out. Past the measurement time it stops the run instead.
  bool OnGrid() const { return measuring_ && SamplesOnGrid(settings_); }
  std::int64_t NextSlotMs() const { return startMs_ + nextSlot_ * static_cast<std::int64_t>(IntervalMs(settings_)); }
  void SampleSlot(RunObserver& frontEnd);

  // Stop: ":OUTP OFF\r" (on a lost port after one try to open it again), close
  // the port, give the output file's lock up, write the run record. Returns
  // whether ":OUTP OFF\r" reached the port; when it did not, the front end's
  // WarnOutputMayBeOn has been called. Idle: does nothing, returns true.
  bool Stop(RunObserver& frontEnd, RunEndReason reason, int signalNumber = 0);

  // Stop with the output brought back to 0 V first, when a ramp is set and the
  // voltage is away from 0 V: the run goes on sampling on its interval, each
  // sample a ramp step lower, and stops once a sample has set 0 V. Otherwise,
  // on a lost port, and when called again on the way down, it is Stop at once.
  // True once the run has stopped (Stop's warning tells whether the output is off).
  bool StopAfterRampDown(RunObserver& frontEnd, RunEndReason reason, int signalNumber = 0);
  bool RampingDown() const { return rampingDown_; }

  // Where a failed open looks for the ports the machine does have, to name
  // them in its message; ListSerialPorts unless replaced (tests, the demo).
  void SetPortLister(PortLister lister) { portLister_ = std::move(lister); }

  // Called with every snapshot the run publishes, on the thread that drives
  // the run, after the sample's line is in the file: for readers beyond the
  // front end (a broker, a collector). It must not block. Set before Begin.
  using SnapshotListener = std::function<void(const SnapshotPtr&)>;
  void SetSnapshotListener(SnapshotListener listener) { snapshotListener_ = std::move(listener); }

  // The latest published snapshot. Any thread.
  SnapshotPtr Snapshot() const;

  // For the thread that drives the run, between its steps.
  bool Measuring() const { return measuring_; }
  const MeasurementSettings& Settings() const { return settings_; }
  double StartTime() const { return startTime_; }  // clock seconds at Start
  Clock& RunClock() { return *clock_; }
  int TickCount() const { return tickCount_; }

 private:
  double Elapsed();
  int FailFileNotCreated(RunObserver& frontEnd, const FileCreateError& createError);
  // Opens the settings' connection for Begin and Resume; on failure the front end has been told.
  bool OpenLinkForStart(RunObserver& frontEnd);
  void ResetRunState();
  void NoteProcess(std::chrono::system_clock::time_point start);
  // *RST, the settings, the output on: the same for a new run and a resumed one.
  bool SetUpInstrument(RunObserver& frontEnd);
  // Tells the listing listener; only a run with a record is listed.
  void List(bool running);
  // At most once a kDataSyncPeriodMs, after a line went into the file.
  void SyncDataFileWhenDue();
  // Makes the run as it stands the latest snapshot, and returns it.
  SnapshotPtr Publish();
  SnapshotPtr MakeSnapshot();
  // Publishes, then tells the front end to read it.
  void Redraw(RunObserver& frontEnd);
  void WriteRunRecord(RunObserver& frontEnd);
  void Report(RunObserver& frontEnd, SampleTrouble trouble);
  void Miss(RunObserver& frontEnd, MissReason reason, int count = 1);
  // Discards stale input and reopens a lost port; false when the sample is missed.
  bool PrepareSample(RunObserver& frontEnd);
  // Judges the reply and stores, logs and reports the reading stamped `stamp`.
  void FinishSample(RunObserver& frontEnd, const char* reply, int received, double stamp, int timeDecimals);
  bool CheckLeastInterval(RunObserver& frontEnd);
  void MarkPortLost(RunObserver& frontEnd);
  bool ReopenPort(RunObserver& frontEnd);
  bool SendOutputOffAndClose();
  void NoteCompliance(RunObserver& frontEnd);
  bool PutSettingsInForce(RunObserver& frontEnd);
  // The voltage for the sample due `dueMs` after the start, the step changes
  // noted; the one output voltage without a schedule and a ramp.
  double NextSetVoltage(std::int64_t dueMs);
  // On the way down: stops once 0 V is set or the port is gone.
  void StopIfDown(RunObserver& frontEnd);

  std::unique_ptr<InstrumentLink> link_;
  std::unique_ptr<Clock> clock_;
  PortLister portLister_;
  SnapshotListener snapshotListener_;
  ListingListener listingListener_;
  MeasurementSettings settings_;
  bool measuring_ = false;
  int tickCount_ = 0;
  double startTime_ = 0.0;    // clock seconds
  std::int64_t startMs_ = 0;  // the same, in clock milliseconds: the grid's origin
  std::int64_t nextSlot_ = 1;
  std::int64_t recordWrittenMs_ = -1;  // on a grid: when the record was last replaced
  std::int64_t dataSyncedMs_ = -1;     // when the data file was last synced to the disk
  bool recordPending_ = false;         // on a grid: a trouble since then waits to be written
  int lineHz_ = 50;                    // the instrument's mains, as it answered at Start
  bool voltagePending_ = false;        // on the grid: the next sample sends the voltage first
  BiasSource bias_;
  double setVoltage_ = 0.0;   // set for the latest sample
  double sentVoltage_ = 0.0;  // on the grid: the last voltage sent
  bool rampingDown_ = false;
  RunEndReason rampDownReason_ = RunEndReason::Completed;
  int rampDownSignal_ = 0;
  RunCounters counters_;
  LatestReading latest_;
  ReplyForm replyForm_;  // what a reply must be under the accepted settings
  SampleHistory history_;
  DataFile dataFile_;
  bool portLost_ = false;
  bool complianceStreakOpen_ = false;  // the latest reading was in compliance
  RunRecord record_;
  // The record goes beside a regular file only: not into /dev beside a device.
  bool recordWanted_ = false;
  // RecordNotWritten has been reported and the record not written since.
  bool recordFailureShown_ = false;
  bool ended_ = false;              // a measurement has ended since the program started
  bool endedWithPortLost_ = false;  // the port was away when the last measurement ended

  mutable std::mutex snapshotMutex_;
  SnapshotPtr snapshot_;
};
