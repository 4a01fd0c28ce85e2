// The process: how it starts, what ends it, and its command line.

#ifndef TAMREK_PLATFORM_PROCESS_H_
#define TAMREK_PLATFORM_PROCESS_H_

#include <string>
#include <vector>

namespace platform {

// Readies the process for a run, before anything else: a standard stream
// that is closed when the program starts is held by the null device, open
// for reading only, so that no file the program opens can take its place and
// every write to it fails as it would on the closed stream.  The signals
// that end a program by default and that a user or a supervisor sends
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2; on Windows
// Ctrl-C, Ctrl-Break and closing the console) first remove the temporary
// file being placed, if there is one, then end the program as they would
// have ended it; a signal ignored at start stays ignored.  A write to a pipe
// whose reader has gone, or beyond the file-size limit, fails as any failed
// write does (SIGPIPE and SIGXFSZ are ignored).
void PrepareProcess();

// The program's command line, program name first, as the file system takes
// paths: on POSIX `argv` itself, on Windows the process's UTF-16 command
// line converted to UTF-8 (`argc` and `argv` are then not used).
std::vector<std::string> CommandLine(int argc, char** argv);

// Whether `arg` is the system's own way, beside --help and -h, to ask a
// program for help: "/?" on Windows; there is none on POSIX.
bool IsSystemHelpOption(const std::string& arg);

// Puts the input files given together in the order the run takes them as
// disks: on Windows, where files dropped together on the program come in
// no set order, the order of their names; on POSIX, as given (a shell's
// `*.d88` is sorted already, and a user's own order is meant).
void OrderInputs(std::vector<std::string>* paths);

}  // namespace platform

#endif  // TAMREK_PLATFORM_PROCESS_H_
