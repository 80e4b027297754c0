#include "text/run_text.h"

#include <cstdio>

#include "decimal/decimal_text.h"
#include "text/printable_text.h"

namespace {

std::string Port(const RunSnapshot& run) { return PrintableText(run.settings.portPath); }

std::string Count(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string SoFar(int n, const char* what) { return " (" + std::to_string(n) + " " + what + " so far)"; }

std::string MissedText(const RunSnapshot& run) {
  const RunCounters& c = run.counters;
  std::string reason;
  switch (c.lastMissReason) {
    case MissReason::NoReply: reason = "no reply from the instrument on " + Port(run); break;
    case MissReason::NoReading: reason = "the reply held no voltage and current"; break;
    case MissReason::Incomplete: reason = "the reply broke off before the current was complete"; break;
    case MissReason::Overflow: reason = "the instrument sent its overflow mark (9.91E+37) instead of a current"; break;
    case MissReason::PortLost: reason = "serial port " + Port(run) + " is lost"; break;
    case MissReason::Garbled:
      reason =
          "a garbled reply: not the elements asked for, a byte that belongs to no number, or a value the "
          "instrument cannot send";
      break;
    case MissReason::LineError:
      reason = "the serial line marked a byte of the reply damaged (parity or framing error) on " + Port(run);
      break;
    case MissReason::Late: reason = "late: its slot passed while the sample before it was still being read"; break;
    case MissReason::Interrupted: reason = "interrupted: it fell due while the run's program was gone"; break;
  }
  return "no reading at tick " + std::to_string(run.tickCount) + ": " + reason + SoFar(c.missedSamples, "missed");
}

std::string SilentText(const RunSnapshot& run) {
  return "no reply from the instrument on " + Port(run) + " for " + std::to_string(kSilentSampleLimit) +
         " samples in a row. " + NoReplyChecks(run.settings.instrument.baud, run.settings.instrument.lineFormat);
}

}  // namespace

const char* MissReasonText(MissReason reason) {
  switch (reason) {
    case MissReason::NoReply: return "no reply";
    case MissReason::NoReading: return "no voltage and current";
    case MissReason::Incomplete: return "incomplete reply";
    case MissReason::Overflow: return "overflow";
    case MissReason::PortLost: return "port lost";
    case MissReason::Garbled: return "garbled reply";
    case MissReason::LineError: return "line error";
    case MissReason::Late: return "late";
    case MissReason::Interrupted: return "interrupted";
  }
  return "unknown";
}

std::string LineFormatText(const LineFormat& format) {
  const char* parity = format.parity == Parity::Even  ? "even parity"
                       : format.parity == Parity::Odd ? "odd parity"
                                                      : "no parity";
  return std::to_string(format.dataBits) + " data bits, " + parity;
}

std::string NoReplyChecks(int baud, const LineFormat& format) {
  return "Check: the cable is straight-through, not null-modem; RS-232 is selected on the instrument's front "
         "panel (it leaves the factory set to GPIB); " +
         std::to_string(baud) + " baud, " + LineFormatText(format) + ", terminator CR, no flow control";
}

std::string TroubleText(SampleTrouble trouble, const RunSnapshot& run) {
  const RunCounters& c = run.counters;
  switch (trouble) {
    case SampleTrouble::Missed: return MissedText(run);
    case SampleTrouble::Lost:
      return "sample at " + FormatFixed(run.latest.time, 2) + " s could not be written to " +
             PrintableText(run.settings.outputPath) + SoFar(c.lostLines, "lost");
    case SampleTrouble::StaleReply:
      return "discarded " + Count(c.lastStaleBytes, "byte", "bytes") + " waiting on " + Port(run) + " before tick " +
             std::to_string(run.tickCount) + ", left over from an earlier reply" +
             SoFar(c.staleReplies, c.staleReplies == 1 ? "stale reply" : "stale replies");
    case SampleTrouble::PortLost:
      return "serial port " + Port(run) + " lost at tick " + std::to_string(run.tickCount) +
             ": it hung up or went away. Check the cable or USB adapter; the port is tried again at every due "
             "sample";
    case SampleTrouble::PortBack:
      return "serial port " + Port(run) + " is back at tick " + std::to_string(run.tickCount) + "; sampling goes on";
    case SampleTrouble::InstrumentSilent: return SilentText(run);
    case SampleTrouble::InCompliance:
      return "in compliance at tick " + std::to_string(run.tickCount) + ": the current is held at the limit of " +
             FormatGeneral(run.settings.instrument.currentLimit * 1e6) +
             " uA and the voltage across the device is below the set value; the samples are written as measured. "
             "Raise the current limit (Setup > Instrument, or ivra-run --current-limit)";
    case SampleTrouble::RecordNotWritten:
      return "the run record " + PrintableText(run.recordPath) + " could not be written (" + run.recordWriteError +
             "); the measurement goes on";
  }
  return {};
}

std::string StatusPaneText(const RunSnapshot& run) {
  const RunCounters& c = run.counters;
  std::string text =
      "Missed samples: " + std::to_string(c.missedSamples) + "  Lost lines: " + std::to_string(c.lostLines);
  if (c.staleReplies > 0) text += "  Stale replies: " + std::to_string(c.staleReplies);
  if (c.portLosses > 0) text += "  Port losses: " + std::to_string(c.portLosses);
  if (c.samplesInCompliance > 0) {
    text += "  In compliance: " + Count(c.samplesInCompliance, "sample", "samples") +
            ". The current is held at the limit; the voltage across the device is below the set value. Raise the "
            "current limit in Setup > Instrument.";
  }
  if (run.state == RunState::PortLost) {
    return "Serial port " + Port(run) + " lost; trying it again at every sample.  " + text;
  }
  if (c.noReplyStreak >= kSilentSampleLimit) {
    std::string silent = SilentText(run);
    silent[0] = 'N';
    return silent + ".  " + text;
  }
  return text;
}

std::string RunSummaryLine(const RunSnapshot& run) {
  const RunCounters& c = run.counters;
  std::string line = Count(c.samplesTaken - c.lostLines, "sample", "samples") + " written, " +
                     std::to_string(c.missedSamples) + " missed";
  std::string reasons;
  for (int i = 0; i < kMissReasonCount; ++i) {
    if (c.missedByReason[i] == 0) continue;
    if (!reasons.empty()) reasons += ", ";
    reasons += std::to_string(c.missedByReason[i]) + " " + MissReasonText(static_cast<MissReason>(i));
  }
  if (!reasons.empty()) line += " (" + reasons + ")";
  line += ", " + std::to_string(c.lostLines) + " lost, " + Count(c.portLosses, "port loss", "port losses") + ", " +
          Count(c.staleReplies, "stale reply", "stale replies") + " discarded";
  if (c.samplesInCompliance > 0) line += ", " + std::to_string(c.samplesInCompliance) + " in compliance";
  return line;
}

std::string OutputMayBeOnText(const std::string& portPath) {
  return "The instrument's output may still be on: \":OUTP OFF\" could not be sent to it on serial port " +
         PrintableText(portPath) + ". Switch the output off with the OUTPUT key on the SourceMeter's front panel.";
}

std::string FormatClock(double seconds) {
  // Far beyond any measurement time, but still a whole number that fits.
  constexpr double kLongestShown = 1e15;
  long long whole = 0;
  if (seconds > 0) whole = static_cast<long long>((seconds < kLongestShown ? seconds : kLongestShown) + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

std::string SettingsNotTakenText(const ErrorQueryReply& reply, const std::string& portPath, int baud,
                                 const LineFormat& format) {
  const std::string port = PrintableText(portPath);
  if (!reply.answered) {
    return "No answer to \":SYST:ERR?\" from the instrument on serial port " + port +
           " after the instrument settings; its output was not switched on. " + NoReplyChecks(baud, format) + ".";
  }
  const std::string number = (reply.number > 0 ? "+" : "") + std::to_string(reply.number);
  return "The instrument on serial port " + port + " refused a setting: error " + number + ", \"" +
         PrintableText(reply.text) +
         "\". Its output was not switched on. Check the values in Setup > Instrument "
         "(ivra-run: --current-limit, --current-range, --nplc, --autozero).";
}
