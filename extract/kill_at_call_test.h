// A tracer of the end-to-end tests' own that kills a program (SIGKILL) as
// it enters its Nth call of one system call, as strace's "-e
// inject=CALL:signal=KILL:when=N" does, but stopping the program at that
// call only: a seccomp filter, installed in the child between fork and
// exec, hands the tracer just the calls it counts, where strace stops at
// every call of every kind (its own seccomp filter drops signal
// injection).  Writes to the standard streams (descriptors 0 to 2) are not
// counted: they change no file, so a kill there leaves the folder a kill at
// the next counted call leaves.  x86_64 and i386 calls only (a tool run by
// qemu-i386 makes its host's calls).
//
// In the child: KillableAt(call) before exec.  In the parent:
// AwaitKill(pid, when, seconds, &status) in place of waitpid.

#ifndef TAMREK_EXTRACT_KILL_AT_CALL_TEST_H_
#define TAMREK_EXTRACT_KILL_AT_CALL_TEST_H_

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>

namespace e2e {

// The numbers of a system call on x86_64 and on i386; {-1, -1} for a name
// this tracer does not know.
struct CallNumbers {
  int x8664, i386;
};
inline CallNumbers CallNumbersOf(const std::string& name) {
  if (name == "write") return {1, 4};
  if (name == "fdatasync") return {75, 148};
  if (name == "rename") return {82, 38};
  if (name == "unlink") return {87, 10};
  if (name == "linkat") return {265, 303};
  return {-1, -1};
}

// In a child that is about to exec the program: makes it stop its parent,
// its tracer, at each call of `name` (of write: to a descriptor above 2).
// Returns false when that cannot be done here (no ptrace, no seccomp, an
// unknown call), and the child should _exit.
inline bool KillableAt(const std::string& name) {
  const CallNumbers n = CallNumbersOf(name);
  if (n.x8664 < 0) return false;
  constexpr auto kNr = offsetof(seccomp_data, nr);
  constexpr auto kArch = offsetof(seccomp_data, arch);
  // The low half of the first argument (little-endian): the descriptor.
  constexpr auto kFd = offsetof(seccomp_data, args);
  const bool byFd = name == "write";
  const auto other = static_cast<__u8>(byFd ? 0 : 1);  // not a write
  const auto x8664 = static_cast<__u32>(n.x8664);
  const auto i386 = static_cast<__u32>(n.i386);
  sock_filter program[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kArch),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kNr),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, x8664, 4, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_I386, 0, 4),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kNr),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, i386, 0, 2),
      // A call of `name`: counted, unless a write to a standard stream.
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kFd),
      BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, byFd ? 2u : 0u, 1, other),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE),
  };
  sock_fprog filter{static_cast<unsigned short>(std::size(program)), program};
  // The parent sets its options while the child is stopped: a traced call
  // without a tracer that asked for them would fail with ENOSYS.
  return ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0 &&
         raise(SIGSTOP) == 0 && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

// In the parent of a child made KillableAt(), in place of waitpid: lets it
// run, kills it as it enters its `when`th counted call, and reaps it,
// storing its wait status.  A run that outlasts `seconds` is killed too.
// Returns whether it was killed at that call.
inline bool AwaitKill(pid_t pid, int when, int seconds, int* status) {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (!ended.wait_for(lock, std::chrono::seconds(seconds),
                        [&] { return done; })) {
      kill(pid, SIGKILL);
    }
  });
  const auto wait = [&] {
    pid_t got;
    do {
      got = waitpid(pid, status, 0);
    } while (got < 0 && errno == EINTR);
    return got == pid && WIFSTOPPED(*status);
  };
  bool killed = false;
  if (wait()) {  // the child's own SIGSTOP
    ptrace(PTRACE_SETOPTIONS, pid, nullptr,
           PTRACE_O_TRACESECCOMP | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL);
    ptrace(PTRACE_CONT, pid, nullptr, nullptr);
    int calls = 0;
    while (wait()) {
      const int event = *status >> 16;
      long signal = 0;  // a signal the program was sent goes on to it
      if (event == PTRACE_EVENT_SECCOMP && ++calls == when) {
        killed = kill(pid, SIGKILL) == 0;
        continue;
      }
      if (event == 0) signal = WSTOPSIG(*status);
      ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(signal));
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  ended.notify_one();
  watchdog.join();
  return killed && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGKILL;
}

}  // namespace e2e

#endif  // TAMREK_EXTRACT_KILL_AT_CALL_TEST_H_
