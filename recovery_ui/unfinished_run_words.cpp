#include "recovery_ui/unfinished_run_words.h"

#include "text/port_open_message.h"

std::string ShortClockText(const std::string& isoClock) {
  // YYYY-MM-DDTHH:MM:SS, then fractions and the zone.
  if (isoClock.size() < 19 || isoClock[10] != 'T') return isoClock;
  std::string text = isoClock.substr(0, 19);
  text[10] = ' ';
  return text;
}

std::string UnfinishedRunText(const UnfinishedRun& run) {
  std::string text =
      "The measurement into " + run.outputPath + " on " + run.connection + " did not end: the program that ran it";
  if (run.pid > 0) text += " (process " + std::to_string(run.pid) + (run.host.empty() ? "" : " on " + run.host) + ")";
  text += " went away while it was measuring.\n\n";
  if (run.lastLineClock.empty()) {
    text += "It had written no line yet (started " + ShortClockText(run.startClock) + ").";
  } else {
    text += "Its last line was written at " + ShortClockText(run.lastLineClock) + ", after " +
            std::to_string(run.samplesWritten) + (run.samplesWritten == 1 ? " sample." : " samples.");
  }
  text += " The instrument's output may still be on.\n\n";
  text += "Switch Output Off sends :OUTP OFF on " + run.connection + " and closes the run.\n";
  if (run.plannedEndPassed) {
    text += "Its planned end (" + ShortClockText(run.plannedEndClock) +
            ") has passed, so it can't be continued: switch its output off.\n";
  } else {
    text += "Continue Measuring goes on into the same file until its planned end (" +
            ShortClockText(run.plannedEndClock) + "); the samples that fell due meanwhile are missed.\n";
  }
  text += "Later leaves it as it is; Measurement > Unfinished Runs... offers it again.";
  return text;
}

bool RecoverOutcomeIsWarning(const RecoverResult& result) {
  return result.alive || !result.outputOff || !result.recordError.empty();
}

std::string RecoverOutcomeText(const UnfinishedRun& run, const RecoverResult& result,
                               const std::vector<SerialPortInfo>& detected) {
  if (result.alive) {
    return "The measurement into " + run.outputPath +
           " is running again: another program has taken it up. Nothing was sent to " + run.connection + ".";
  }
  std::string text;
  if (result.outputOff) {
    text = "The output of the instrument on " + run.connection + " is off. The run of " + run.outputPath +
           " is closed as interrupted; its samples stay in the file.";
  } else {
    if (!result.portOpened) {
      text = PortOpenFailureMessage(result.portError, detected) + "\n\n";
    } else {
      text = ":OUTP OFF could not be sent on " + run.connection + ": the connection went away.\n\n";
    }
    text += "The output of the instrument on " + run.connection +
            " may still be on: switch it off with the OUTPUT key on its front panel.";
  }
  if (!result.recordError.empty()) {
    text += "\n\nThe run's record " + run.recordPath + " could not be closed: " + result.recordError +
            ". Check that its folder can be written to.";
  }
  return text;
}

std::string ResumeRefusedText(const UnfinishedRun& run, const std::string& problem) {
  return "Can't continue the measurement into " + run.outputPath + ": " + problem +
         ".\n\nIts output may still be on: Switch Output Off sends :OUTP OFF on " + run.connection + ".";
}
