// The process on Windows: its console events, the interrupt slot they
// read, and its UTF-16 command line.  See process.h and interrupt_slot.h.

#include "platform/windows_text.h"
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <string>

#include "platform/interrupt_slot.h"
#include "platform/process.h"

namespace platform {

namespace {

// The temporary name that a console event removes; empty when there is
// none.  Read and changed only under `slotLock`.
SRWLOCK slotLock = SRWLOCK_INIT;
std::wstring slotPath;

// Ctrl-C, Ctrl-Break, a closed console window: removes the file in the
// slot, then ends the process as the system's own handler does, with
// STATUS_CONTROL_C_EXIT.  The lock is kept, so that no new file is named in
// the meantime.  A logoff or a shutdown ends a console program without an
// event: its temporary files, opened to be deleted when closed, go with it.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT &&
      event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  AcquireSRWLockExclusive(&slotLock);
  if (!slotPath.empty()) DeleteFileW(slotPath.c_str());
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace

namespace internal {

void InstallInterruptHandlers() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

InterruptSlot::InterruptSlot() { AcquireSRWLockExclusive(&slotLock); }

InterruptSlot::~InterruptSlot() { ReleaseSRWLockExclusive(&slotLock); }

void InterruptSlot::Fill(const std::string& path) { slotPath = WidePath(path); }

void InterruptSlot::Empty() { slotPath.clear(); }

}  // namespace internal

void PrepareProcess() {
  // The C library keeps the slots of standard streams that were missing at
  // start, so no file takes their place; output files never get a C library
  // descriptor anyway.
  internal::InstallInterruptHandlers();
}

std::vector<std::string> CommandLine(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  args.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) args.push_back(internal::ToUtf8(wide[i]));
  LocalFree(wide);
  return args;
}

bool IsSystemHelpOption(const std::string& arg) { return arg == "/?"; }

void OrderInputs(std::vector<std::string>* paths) {
  std::sort(paths->begin(), paths->end());
}

}  // namespace platform
