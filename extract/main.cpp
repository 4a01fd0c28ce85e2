// tamrek: extracts the 29 data files of the scenario disks from D88 files
// into the current working directory.  Usage: tamrek FILE.d88...

#include <cstdio>
#include <string>
#include <vector>

#include "extract/extraction_run.h"
#include "extract/messages.h"
#include "platform/console.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  // Before anything is opened: hold closed standard streams, and make
  // interrupts remove the file being written.
  platform::PrepareProcess();
  // On Windows the arguments come from the UTF-16 command line as UTF-8, so
  // that file names outside the system's code page reach the run intact.
  const std::vector<std::string> args = platform::CommandLine(argc, argv);
  std::vector<const char*> pointers;
  pointers.reserve(args.size() + 1);
  for (const std::string& arg : args) pointers.push_back(arg.c_str());
  pointers.push_back(nullptr);
  const int status = RunExtraction(static_cast<int>(args.size()),
                                   pointers.data(), stdout, stderr);
  // Started from Explorer, the program's window closes as it exits: keep it
  // open after a failure until its lines have been read.
  if (status != 0 && platform::ConsoleClosesOnExit()) {
    platform::WriteConsoleLine(stderr, kPressEnterMessage, kPressEnterMessage);
    platform::WaitForEnter();
  }
  return status;
}
