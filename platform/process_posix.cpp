// The process on POSIX systems: its start, the signals that end it, and the
// interrupt slot they read.  See process.h and interrupt_slot.h.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/interrupt_slot.h"
#include "platform/process.h"

namespace platform {

namespace {

// The signals that end a program by default and that a user or a
// supervisor sends: Ctrl-C, Ctrl-\\, kill, a lost terminal, timeout(1).
constexpr int kInterrupts[] = {SIGINT,  SIGTERM, SIGHUP, SIGQUIT,
                               SIGALRM, SIGUSR1, SIGUSR2};

// The temporary name that an interrupt removes; empty when there is none.
char slotPath[4096];

// Removes the file in the slot, then ends the program as the signal would
// have: the default action again, and the signal raised again (it is
// delivered when the handler returns).  Only async-signal-safe calls.
void OnInterrupt(int signal) {
  if (slotPath[0] != '\0') unlink(slotPath);
  std::signal(signal, SIG_DFL);
  raise(signal);
}

}  // namespace

namespace internal {

void InstallInterruptHandlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  sigfillset(&action.sa_mask);
  action.sa_handler = OnInterrupt;
  for (const int signal : kInterrupts) {
    // A signal ignored from the start (nohup, a background job) stays so.
    struct sigaction previous;
    if (sigaction(signal, &action, &previous) == 0 &&
        previous.sa_handler == SIG_IGN) {
      sigaction(signal, &previous, nullptr);
    }
  }
}

InterruptSlot::InterruptSlot() {
  // The handlers are needed only once there is a name to remove: a run that
  // never has one (its files written unnamed, or not at all) spends no
  // system call on them.
  static const bool installed = (InstallInterruptHandlers(), true);
  static_cast<void>(installed);
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (const int signal : kInterrupts) sigaddset(&interrupts, signal);
  sigprocmask(SIG_BLOCK, &interrupts, &previous);
}

InterruptSlot::~InterruptSlot() {
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void InterruptSlot::Fill(const std::string& path) {
  // A name too long for the slot is too long to be one this program
  // writes: the system refused to create it.
  if (path.size() >= sizeof slotPath) return Empty();
  std::memcpy(slotPath, path.c_str(), path.size() + 1);
}

void InterruptSlot::Empty() { slotPath[0] = '\0'; }

}  // namespace internal

void PrepareProcess() {
  // A descriptor that is not open gets the null device, read-only: writes to
  // it fail with EBADF as they would have, and nothing else can take it.
  // The lowest free descriptor is the one being filled.  One poll() tells
  // which of the three are closed (POLLNVAL).
  pollfd streams[3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  if (poll(streams, 3, 0) > 0) {
    for (const pollfd& stream : streams) {
      if ((stream.revents & POLLNVAL) != 0) open("/dev/null", O_RDONLY);
    }
  }
  // Every console line is written whole and flushed: standard output needs
  // no buffer, nor the C library's asking what it leads to for one.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  // The interrupts get their handlers with the first temporary name.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

std::vector<std::string> CommandLine(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool IsSystemHelpOption(const std::string&) { return false; }

void OrderInputs(std::vector<std::string>*) {}

}  // namespace platform
