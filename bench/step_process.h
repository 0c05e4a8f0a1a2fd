// Runs one step of the benchmark in a process of its own and collects what it measured: the
// "key: value" lines it printed on standard output and its peak resident memory (ru_maxrss of
// the finished process), so that each step's memory figure is its own.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace axbench {

struct StepResult {
  bool Ok = false;                            // the process ran and exited with status 0
  std::string Failure;                        // why not: exit status, signal, or start failure
  std::map<std::string, std::string> Figures; // the "key: value" lines it printed
  long PeakKB = 0;                            // its peak resident set in KiB
  double WallSeconds = 0;                     // from start to exit, as seen from here

  // The figure Key as a number; NaN when it is missing or not a number.
  double Number(const std::string& Key) const;
};

// Starts Program with Args (Args[0] is not the program name: the arguments follow it), waits for
// it and returns what it reported. Its standard error goes to ours. Never throws.
StepResult RunProcess(const std::string& Program, const std::vector<std::string>& Args);

// The path of the running executable (to start a step of this program again); empty when the
// system cannot tell.
std::string SelfPath();

// Prints one figure in the format RunProcess collects.
void PutFigure(const char* Key, double Value);
void PutFigure(const char* Key, const std::string& Value);

}  // namespace axbench
