// The cost of durability per sample: a data line appended as a run appends it,
// with and without the sync to the disk that a run makes at most once a
// second, for 1 and 50 samples a second (every line synced, every 50th line
// synced), and the run record's replacement with its file and folder syncs.
// The figures depend on the disk: run it in the folder the data would go to.
//   ivra_durability_bench [FOLDER] [LINES]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "datafile/data_file.h"
#include "datafile/data_line.h"
#include "run/run_record.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Figures {
  double perSampleUs = 0.0;  // mean over all samples
  double syncP50Us = 0.0;    // the samples that synced: the pause they took
  double syncMaxUs = 0.0;
};

// `lines` lines, synced after every `syncEvery`-th (0: never).
Figures Measure(const std::string& path, int lines, int syncEvery) {
  DataFile file;
  if (!file.Create(path)) {
    std::fprintf(stderr, "ivra_durability_bench: can't create %s\n", path.c_str());
    std::exit(1);
  }
  std::vector<double> syncs;
  const Clock::time_point start = Clock::now();
  for (int i = 1; i <= lines; ++i) {
    file.Append(FormatDataLine(i * 0.02, 5e-7 + i * 1e-12, 3));
    if (syncEvery > 0 && i % syncEvery == 0) {
      const Clock::time_point before = Clock::now();
      file.Sync();
      syncs.push_back(Micros(Clock::now() - before));
    }
  }
  Figures figures;
  figures.perSampleUs = Micros(Clock::now() - start) / lines;
  if (!syncs.empty()) {
    std::sort(syncs.begin(), syncs.end());
    figures.syncP50Us = syncs[syncs.size() / 2];
    figures.syncMaxUs = syncs.back();
  }
  file.Release();
  std::filesystem::remove(path);
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  const int lines = argc > 2 ? std::atoi(argv[2]) : 3000;
  const std::string path = folder + "/ivra-durability-" + std::to_string(getpid()) + ".dat";

  const Figures plain = Measure(path, lines, 0);
  const Figures everyLine = Measure(path, lines, 1);
  const Figures every50 = Measure(path, lines, 50);
  std::printf("%d lines in %s\n", lines, folder.c_str());
  std::printf("append only                  %8.1f us/sample\n", plain.perSampleUs);
  std::printf("1 sample/s (sync each line)  %8.1f us/sample  (+%.1f); sync p50 %.0f us, max %.0f us\n",
              everyLine.perSampleUs, everyLine.perSampleUs - plain.perSampleUs, everyLine.syncP50Us,
              everyLine.syncMaxUs);
  std::printf("50 samples/s (sync each 50th)%8.1f us/sample  (+%.1f); sync p50 %.0f us, max %.0f us\n",
              every50.perSampleUs, every50.perSampleUs - plain.perSampleUs, every50.syncP50Us, every50.syncMaxUs);

  // The record: written at the start, on troubles (at most once a second on a grid) and at the end.
  const std::string record = path + ".run.json";
  const std::string text(2500, ' ');
  std::vector<double> replaces;
  std::string error;
  for (int i = 0; i < 50; ++i) {
    const Clock::time_point before = Clock::now();
    ReplaceFileAtomically(record, text, error);
    replaces.push_back(Micros(Clock::now() - before));
  }
  std::sort(replaces.begin(), replaces.end());
  std::printf("record replacement (file and folder synced) p50 %.0f us, max %.0f us\n", replaces[replaces.size() / 2],
              replaces.back());
  std::filesystem::remove(record);
  return 0;
}
