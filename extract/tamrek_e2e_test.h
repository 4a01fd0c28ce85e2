// The harness of the end-to-end tests of the tamrek command: the plan and
// the demo disks as the tests know them (written out independently of the
// tool's own table), the expected lines and files, and TamrekTest, a
// fixture that runs the tool in a fresh working directory, with its
// standard streams on files, a pipe, a pseudo-terminal or a lost reader,
// under a prefix such as strace, and returns its output, status and signal.
//
// The tool under test is TAMREK_PATH, or the command in the environment
// variable TAMREK_TOOL: words separated by spaces, the program last, after
// any command that runs it ("wine tamrek.exe", "qemu-i386 tamrek").
// With TAMREK_WINDOWS=1 the console lines are expected to end in "\r\n", as
// a Windows console program in text mode writes them.

#ifndef TAMREK_EXTRACT_TAMREK_E2E_TEST_H_
#define TAMREK_EXTRACT_TAMREK_E2E_TEST_H_

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "extract/kill_at_call_test.h"
#include "tools/d88_writer.h"

namespace e2e {

namespace fs = std::filesystem;

// The plan, written out independently of the tool's own table.
struct PlanRow {
  const char* name;
  int disk, track, sector, length;
};
inline const PlanRow kPlan[] = {
#include "tools/plan_rows.inc"
};

inline const std::string kUsage =
    "Usage: tamrek.exe [d88file("
    "\x83\x56\x83\x69\x83\x8A\x83\x49\x83\x66\x83\x42\x83\x58\x83\x4E"
    ")]\n";
inline const std::string kOpenFailure =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76"
    "\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x2E\x0A";

inline bool WindowsBuild() {
  const char* v = std::getenv("TAMREK_WINDOWS");
  return v != nullptr && std::string(v) == "1";
}

// Console text as the tool under test writes it.
inline std::string Console(const std::string& text) {
  if (!WindowsBuild()) return text;
  std::string out;
  for (char ch : text) {
    if (ch == '\n') out += '\r';
    out += ch;
  }
  return out;
}

inline std::vector<std::string> ToolCommand() {
  const char* tool = std::getenv("TAMREK_TOOL");
  std::vector<std::string> words;
  std::istringstream in(tool != nullptr ? tool : TAMREK_PATH);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

inline Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in),
               std::istreambuf_iterator<char>());
}

inline std::string AsText(const Bytes& b) {
  return std::string(b.begin(), b.end());
}

// Demo sector contents: a function of disk, cylinder, head and sector.
inline Bytes SectorText(int disk, int c, int h, int r) {
  return DemoSectorText(disk, c, h, r, 2);
}

// The bytes a plan row yields from a complete demo disk.
inline Bytes ExpectedFile(const PlanRow& row) {
  Bytes out;
  int c = row.track / 2, h = row.track % 2, r = row.sector;
  while (out.size() < static_cast<std::size_t>(row.length)) {
    const Bytes s = SectorText(row.disk, c, h, r);
    out.insert(out.end(), s.begin(), s.end());
    if (++r > 10) {
      r = 1;
      if (++h > 1) h = 0, ++c;
    }
  }
  out.resize(static_cast<std::size_t>(row.length));
  return out;
}

// Pieces of a file not read in full: (piece index, bytes it gave).
using Shortfall = std::vector<std::pair<int, int>>;

// The sector that piece `i` of `row` is read from: {C, H, R}.
inline std::vector<int> PieceSector(const PlanRow& row, int i) {
  int c = row.track / 2, h = row.track % 2, r = row.sector;
  for (; i > 0; --i) {
    if (++r > 10) {
      r = 1;
      if (++h > 1) h = 0, ++c;
    }
  }
  return {c, h, r};
}

// What the run writes for `row` when the pieces of `missing` gave only
// their first bytes: the demo bytes, zero for the rest of those pieces.
inline Bytes SalvagedFile(const PlanRow& row, const Shortfall& missing) {
  Bytes out = ExpectedFile(row);
  for (const auto& [piece, got] : missing) {
    const auto end = std::min<std::size_t>(out.size(), 512u * (piece + 1));
    std::fill(out.begin() + 512 * piece + got, out.begin() + end, 0);
  }
  return out;
}

// "disk D, cylinder C, head H, sector R" of piece `i` of `row`.
inline std::string SectorName(const PlanRow& row, int i) {
  const std::vector<int> at = PieceSector(row, i);
  return "disk " + std::to_string(row.disk) + ", cylinder " +
         std::to_string(at[0]) + ", head " + std::to_string(at[1]) +
         ", sector " + std::to_string(at[2]);
}

// The sectors, 512 bytes or the file's last part, that `row` reads.
inline int Pieces(const PlanRow& row) { return (row.length + 511) / 512; }

// The lines for those pieces, then the file's incomplete line.
inline std::string ShortfallLines(const PlanRow& row,
                                  const Shortfall& missing) {
  std::string lines;
  int lost = 0;
  for (const auto& [piece, got] : missing) {
    const int length = std::min(512, row.length - 512 * piece);
    lost += length - got;
    lines += std::string(row.name) +
             " has a sector that could not be read in full: " +
             SectorName(row, piece) + ", " + std::to_string(got) + " of " +
             std::to_string(length) + " bytes.\n";
  }
  return lines + row.name +
         " is incomplete: " + std::to_string(row.length - lost) + " of " +
         std::to_string(row.length) + " bytes could be read.\n";
}

// The last line of a run after which `complete` files of 29 are complete,
// and the map lists `sectors`.
inline std::string SummaryLine(int complete, int sectors) {
  if (complete == 29) return "All 29 files are complete.\n";
  return std::to_string(complete) + " of 29 files are complete" +
         (sectors == 0 ? std::string(".\n")
                       : "; tamrek.map lists the " + std::to_string(sectors) +
                             (sectors == 1 ? " sector" : " sectors") +
                             " still to be read.\n");
}

// The standard error of a run, into an empty folder, on a file that holds
// the disks below `disks` in full and no others; with --test, no summary.
inline std::string MissingDiskLines(int disks, bool summary = true) {
  std::string lines;
  int complete = 29, sectors = 0;
  for (int disk = disks; disk < 4; ++disk) {
    lines += "Disk " + std::to_string(disk) + " is not in the file.\n";
    for (const PlanRow& row : kPlan) {
      if (row.disk != disk) continue;
      lines += std::string(row.name) + " is incomplete: 0 of " +
               std::to_string(row.length) + " bytes could be read.\n";
      --complete;
      sectors += Pieces(row);
    }
  }
  return summary ? lines + SummaryLine(complete, sectors) : lines;
}

inline Bytes DemoDisk(int disk, int interleave = 1,
                      const SectorEdit& edit = nullptr) {
  return MakeUniformDisk(disk, 80, 10, 2, SectorText, interleave, edit).Build();
}

// The images of `disks`, back to back: a file of them in that order.
inline Bytes Joined(const std::vector<Bytes>& disks) {
  Bytes out;
  for (const Bytes& d : disks) out.insert(out.end(), d.begin(), d.end());
  return out;
}

// `disks` demo disks, each record passed through `edit` when it is set.
// Those without an edit are made once: tests take them hundreds of times.
inline Bytes DemoFile(int disks, const SectorEdit& edit = nullptr) {
  static std::map<int, Bytes> made;
  if (!edit && made.count(disks) != 0) return made[disks];
  Bytes out;
  for (int d = 0; d < disks; ++d) {
    const Bytes image =
        DemoDisk(d, d + 1, edit);  // a different interleave each
    out.insert(out.end(), image.begin(), image.end());
  }
  if (!edit) made[disks] = out;
  return out;
}

// CRC-32 as zlib computes it, bit by bit: the tests' own, to check the
// checksums of the rescue map against the files.
inline std::uint32_t Crc32(const Bytes& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
  }
  return ~crc;
}

struct Result {
  int status = -1;  // the exit status, or -1
  int signal = 0;   // the signal that ended the tool, or 0
  std::string out, err;
  bool heldOn = false;  // still running when RunOptions::typed was typed
};

// Where the tool's standard output and standard error go.
enum class Streams {
  kFiles,      // two files, read into Result::out and Result::err
  kOnePipe,    // one pipe for both, read into Result::out
  kTerminal,   // one pseudo-terminal for all three, read into Result::out
  kClosedOut,  // standard output closed, standard error to a file
  kFullOut,    // standard output on /dev/full, standard error to a file
  kGoneOut,    // standard output a pipe nobody reads, standard error a file
};

struct RunOptions {
  long fileSizeLimit = -1;  // RLIMIT_FSIZE in bytes, -1 for none
  bool asNobody = false;    // drop to uid/gid 65534 (when root)
  std::string tool;  // runs this program in place of the tool, after its prefix
  fs::path directory;  // working directory; the test's `work` if empty
  std::vector<std::string> environment;  // NAME=VALUE settings for the tool
  Streams streams = Streams::kFiles;
  // On a terminal: once the tool has written `awaited`, wait `holdSeconds`,
  // note whether it is still running, then type `typed`.  (Wine's console
  // drops keys typed before it starts reading.)
  std::string awaited, typed;
  int holdSeconds = 0;
  int timeLimitSeconds = 60;  // on a terminal or pipe; then it is killed
  // Called with the tool's process and the writing end of its standard
  // input, a pipe, while it runs; the pipe is closed when this returns.  The
  // tool may then end by a signal.
  std::function<void(pid_t, int)> whileRunning;
  std::string prefix;         // a command that runs the tool ("strace -o F")
  bool endsBySignal = false;  // the tool may end by a signal
  bool ignoreHangup = false;  // start the tool with SIGHUP ignored (nohup)
  std::string tag;  // after "stdout" and "stderr" in their files' names
  // Kill the tool (SIGKILL) as it enters its killWhen'th call of killCall
  // (kill_at_call_test.h); with no prefix.
  std::string killCall;
  int killWhen = 0;
};

// Reads `fd` until its end, or until `pid` has exited and nothing more comes
// for a moment (a pseudo-terminal may be held open by the tool's helpers),
// answering on the terminal as `options` say.  Kills the tool at the time
// limit.  Returns the bytes read and stores the wait status, and whether the
// tool was still running when the answer was typed.
inline std::string ReadUntilExit(int fd, pid_t pid, const RunOptions& options,
                                 int* status, bool* heldOn) {
  using Clock = std::chrono::steady_clock;
  const auto limit =
      Clock::now() + std::chrono::seconds(options.timeLimitSeconds);
  std::string bytes;
  bool exited = false, answered = options.awaited.empty();
  while (Clock::now() < limit) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) > 0) {
      char buf[4096];
      const ssize_t got = read(fd, buf, sizeof buf);
      if (got <= 0) break;  // end of pipe, or EIO once a terminal is closed
      bytes.append(buf, static_cast<std::size_t>(got));
      if (!answered && bytes.find(options.awaited) != std::string::npos) {
        std::this_thread::sleep_for(std::chrono::seconds(options.holdSeconds));
        *heldOn = waitpid(pid, status, WNOHANG) == 0;
        answered = write(fd, options.typed.data(), options.typed.size()) ==
                   static_cast<ssize_t>(options.typed.size());
      }
      continue;
    }
    if (exited) break;
    exited = waitpid(pid, status, WNOHANG) == pid;
  }
  if (!exited) {
    if (Clock::now() >= limit) {
      ADD_FAILURE() << "still running after " << options.timeLimitSeconds
                    << " s: " << bytes;
      kill(pid, SIGKILL);
    }
    EXPECT_EQ(waitpid(pid, status, 0), pid);
  }
  return bytes;
}

// Why the strace cases are not run under Wine.
inline constexpr char kWineServerCalls[] =
    "under Wine the Wine server makes the file system calls, where strace "
    "cannot single out the program's";

// The longest one run of the tool with its output in files may take, far
// past any run's time under strace, sanitizers or an emulator.
constexpr int kRunLimitSeconds = 300;

// Waits up to `seconds` for `pid` to end, leaving it to be reaped.  Returns
// whether it ended.
inline bool AwaitEnd(pid_t pid, int seconds) {
  // A pidfd turns readable the moment the process ends: no run waits on a
  // polling interval (hundreds of runs make a sweep).  Without one (an old
  // kernel), poll with a short interval.
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd p{pidfd, POLLIN, 0};
    int ready;
    do {
      ready = poll(&p, 1, seconds * 1000);
    } while (ready < 0 && errno == EINTR);
    close(pidfd);
    return ready > 0;
  }
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info,
               WEXITED | WNOHANG | WNOWAIT) != 0 ||
        info.si_pid == pid) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// Waits up to `seconds` for something to exist at `path`.
inline bool AwaitName(const fs::path& path, int seconds) {
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::error_code error;
  while (!fs::exists(fs::symlink_status(path, error))) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The process that `tracer` (strace) runs, or 0 while it has none.
inline pid_t TracedChild(pid_t tracer) {
  std::ifstream children("/proc/" + std::to_string(tracer) + "/task/" +
                         std::to_string(tracer) + "/children");
  pid_t child = 0;
  children >> child;
  return child;
}

// Waits up to `seconds` for the file at `path` to hold `text`.
inline bool AwaitText(const fs::path& path, const std::string& text,
                      int seconds) {
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (AsText(ReadAll(path)).find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Events on a file or a directory as inotify(7) reports them, from when
// this is made: a way to know that the tool under test has reached a
// system call on a name, and, with a signal that strace raises at that
// call, that it runs no further before the test lets it.
class Watch {
 public:
  Watch(const fs::path& path, std::uint32_t mask)
      : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    EXPECT_GE(inotify_add_watch(fd, path.c_str(), mask), 0) << path;
  }
  ~Watch() { close(fd); }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

  // Waits up to `seconds` for an event on the entry `name` of the directory
  // watched, or, with "", any event.  Returns whether one came.
  bool Await(const std::string& name, int seconds) {
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    alignas(inotify_event) char buffer[4096];
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const ssize_t got = read(fd, buffer, sizeof buffer);
      for (ssize_t at = 0; got > 0 && at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (name.empty() || (event->len > 0 && name == event->name)) {
          return true;
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return false;
  }

 private:
  int fd;
};

// Whether a run can be killed at a call here (kill_at_call_test.h): not where
// the tests themselves run under an emulator without ptrace.
inline bool KillAtCallRuns() {
  static const bool runs = [] {
    const pid_t pid = fork();
    if (pid == 0) {
      if (KillableAt("write")) execlp("true", "true", nullptr);
      _exit(125);
    }
    int status = 0;
    AwaitKill(pid, 1, 30, &status);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }();
  return runs;
}

// Whether strace can trace the tool here.
inline bool StraceRuns() {
  static const bool runs =
      std::system("strace -f -qq -o /dev/null true >/dev/null 2>&1") == 0;
  return runs;
}

class TamrekTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = Scratch() /
           ("tamrek_e2e_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    work = root / "work";
    fs::create_directories(work);
    input = (root / "disks.d88").string();
  }
  // Where each test makes its folder: the system's temporary directory.
  virtual fs::path Scratch() const { return fs::temp_directory_path(); }
  void TearDown() override {
    fs::permissions(work, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(root);
  }

  Result Run(const std::vector<std::string>& args,
             const RunOptions& options = {}) {
    std::vector<std::string> words;
    std::istringstream prefix(options.prefix);
    for (std::string w; prefix >> w;) words.push_back(w);
    std::vector<std::string> tool = ToolCommand();
    if (!options.tool.empty()) tool.back() = options.tool;
    words.insert(words.end(), tool.begin(), tool.end());
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    const std::string outPath = (root / ("stdout" + options.tag)).string();
    const std::string errPath = (root / ("stderr" + options.tag)).string();
    const std::string directory =
        (options.directory.empty() ? work : options.directory).string();

    // The parent's end of a pipe or terminal shared by stdout and stderr.
    int shared = -1, pipeEnds[2] = {-1, -1};
    std::string terminal;
    if (options.streams == Streams::kOnePipe) {
      EXPECT_EQ(pipe(pipeEnds), 0);
      shared = pipeEnds[0];
    } else if (options.streams == Streams::kTerminal) {
      shared = posix_openpt(O_RDWR | O_NOCTTY);
      const bool opened = shared >= 0 && grantpt(shared) == 0 &&
                          unlockpt(shared) == 0 && ptsname(shared) != nullptr;
      EXPECT_TRUE(opened) << "no pseudo-terminal";
      if (opened) terminal = ptsname(shared);
    }
    int input[2] = {-1, -1};
    if (options.whileRunning) {
      EXPECT_EQ(pipe(input), 0);
    }

    const pid_t pid = fork();
    if (pid == 0) {
      int outFd = -1, errFd = -1;
      int gone[2] = {-1, -1};
      if (options.streams == Streams::kGoneOut && pipe(gone) == 0) {
        close(gone[0]);  // its reader has gone
      }
      if (options.streams == Streams::kFiles ||
          options.streams == Streams::kClosedOut ||
          options.streams == Streams::kFullOut ||
          options.streams == Streams::kGoneOut) {
        outFd = options.streams == Streams::kFiles
                    ? open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                : options.streams == Streams::kGoneOut
                    ? gone[1]
                    : open("/dev/full", O_WRONLY);
        errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      } else if (options.streams == Streams::kOnePipe) {
        outFd = errFd = pipeEnds[1];
      } else if (setsid() >= 0) {  // the terminal becomes the controlling one
        outFd = errFd = open(terminal.c_str(), O_RDWR);
      }
      if (outFd < 0 || errFd < 0 || chdir(directory.c_str()) != 0) _exit(126);
      if (options.streams == Streams::kTerminal) dup2(outFd, 0);
      if (input[0] >= 0) {
        dup2(input[0], 0);
        close(input[0]);
        close(input[1]);
      }
      dup2(outFd, 1);
      dup2(errFd, 2);
      if (options.streams == Streams::kClosedOut) close(1);
      if (shared >= 0) close(shared);
      signal(SIGPIPE, SIG_DFL);
      signal(SIGHUP, options.ignoreHangup ? SIG_IGN : SIG_DFL);
      for (const std::string& setting : options.environment) {
        putenv(const_cast<char*>(setting.c_str()));
      }
      if (options.fileSizeLimit >= 0) {
        signal(SIGXFSZ, SIG_DFL);  // the tool itself must not die of it
        const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                           static_cast<rlim_t>(options.fileSizeLimit)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
      }
      if (options.asNobody && geteuid() == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 ||
            setuid(65534) != 0) {
          _exit(126);
        }
      }
      if (options.killWhen > 0 && !KillableAt(options.killCall)) _exit(125);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    Result result;
    int status = 0;
    if (options.whileRunning) {
      close(input[0]);
      options.whileRunning(pid, input[1]);
      close(input[1]);
    }
    if (shared >= 0) {
      if (pipeEnds[1] >= 0) close(pipeEnds[1]);
      result.out = ReadUntilExit(shared, pid, options, &status, &result.heldOn);
      close(shared);
    } else {
      // A run that hangs fails the test, not CI: it is killed at the limit.
      if (options.killWhen > 0) {
        AwaitKill(pid, options.killWhen, kRunLimitSeconds, &status);
      } else {
        if (!AwaitEnd(pid, kRunLimitSeconds)) {
          ADD_FAILURE() << "still running after " << kRunLimitSeconds << " s";
          kill(pid, SIGKILL);
        }
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
      }
      result.out = AsText(ReadAll(outPath));
      result.err = AsText(ReadAll(errPath));
    }
    EXPECT_TRUE(WIFEXITED(status) || options.whileRunning ||
                options.endsBySignal)
        << "the tool did not exit normally";
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
  }

  // Options that run the tool in `work` under strace, injecting
  // `injections` ("SYSCALL:error=E", "SYSCALL:signal=S:when=N", more joined
  // by " -e inject=") into the system calls on the files at `paths` only, by
  // name or by descriptor.  The tool names its files relative to `work` and
  // strace sees descriptors by absolute path, so a file in `work` is given
  // both ways; strace itself starts in `root`, where the relative names
  // hold nothing that it would resolve.
  RunOptions Strace(const std::vector<fs::path>& paths,
                    const std::string& injections) const {
    // strace starts the tool itself, in `work`: a call counter of strace's
    // counts only the calls of one personality, so calls made before an
    // exec into the tool (env's, 64-bit, before a 32-bit tool) would count
    // in a trace but not in an injection.
    RunOptions options;
    options.environment = {"ASAN_OPTIONS=detect_leaks=0"};  // LSan: ptrace
    options.prefix = "strace -f -qq -o /dev/null";
    // No path: every call of the tool.
    for (const fs::path& path : paths) {
      options.prefix += " -P " + path.string();
      if (path.parent_path() == work) {
        options.prefix += " -P " + path.filename().string();
      }
    }
    options.prefix += " -e inject=" + injections;
    return options;
  }

  // The number, among the tool's calls of `syscall` in a run on `args`
  // under `injections` (as Strace() takes them, or ""), of the first one at
  // or after the first call whose strace line holds `marker`; 0 when there
  // is none.  `setup` readies the folder, and again after this run, for the
  // run this one stands for.
  int CallNumber(const std::function<void()>& setup,
                 const std::vector<std::string>& args,
                 const std::string& syscall, const std::string& marker,
                 const std::string& injections = "") {
    setup();
    const fs::path trace = root / "calls";
    RunOptions options;
    options.environment = {"ASAN_OPTIONS=detect_leaks=0"};  // LSan: ptrace
    options.prefix = "strace -f -qq -o " + trace.string() +
                     (injections.empty() ? "" : " -e inject=" + injections);
    options.endsBySignal = true;
    Run(args, options);
    setup();
    std::ifstream lines(trace);
    int number = 0;
    bool marked = false;
    for (std::string line; std::getline(lines, line);) {
      marked = marked || line.find(marker) != std::string::npos;
      if (line.find(" " + syscall + "(") == std::string::npos &&
          line.rfind(syscall + "(", 0) != 0) {
        continue;
      }
      ++number;
      if (marked) return number;
    }
    return 0;
  }

  // Under Wine: the test-only variant of the program (TAMREK_HOOKED_TOOL)
  // holds LDAT01's complete temporary file until it reads a line; Ctrl-C
  // (Wine delivers SIGINT as Ctrl-C) comes then, over an earlier extraction
  // and over zero-filled placeholders that LDAT01 is merged with.
  void InterruptUnderWine() {
    const char* hooked = std::getenv("TAMREK_HOOKED_TOOL");
    if (hooked == nullptr) GTEST_SKIP() << "no TAMREK_HOOKED_TOOL to run";
    const Bytes lacking = DemoFile(4, [](int disk, SectorRecord* s) {
      if (disk == 1 && s->c == 37 && s->h == 0 && s->r == 2) s->r = 99;
    });
    // Ctrl-C (Wine delivers SIGINT as Ctrl-C), and a process ended outright
    // (kill -9 of Wine's process, as TerminateProcess ends it): its
    // temporary file, opened to be deleted when closed, goes with it.
    for (const int signal : {SIGINT, SIGKILL}) {
      for (const bool merge : {false, true}) {
        const std::string what =
            std::string(strsignal(signal)) + (merge ? ", merging" : "");
        ClearWork();
        std::map<std::string, Bytes> earlier;
        for (const PlanRow& row : kPlan) {
          earlier[row.name] =
              Bytes(static_cast<std::size_t>(row.length), merge ? 0x00 : 0xEA);
          ASSERT_TRUE(WriteFile((work / row.name).string(), earlier[row.name]));
        }
        ASSERT_TRUE(WriteFile(input, merge ? lacking : DemoFile(4)));
        RunOptions options;
        options.tool =
            std::string(hooked).substr(std::string(hooked).rfind(' ') + 1);
        options.environment = {"TAMREK_TEST_PAUSE_BEFORE_PLACING=LDAT01"};
        options.endsBySignal = true;
        options.whileRunning = [&](pid_t pid, int) {
          EXPECT_TRUE(AwaitName(work / "LDAT01.tmp0", 30)) << what;
          kill(pid, signal);
          EXPECT_TRUE(AwaitEnd(pid, 30)) << what;
        };
        const Result r = Run({input}, options);
        if (signal == SIGINT) {
          EXPECT_EQ(r.status, 0x3A) << what;  // STATUS_CONTROL_C_EXIT, in part
        } else {
          EXPECT_EQ(r.signal, SIGKILL) << what;
          ASSERT_EQ(std::system("wineserver -w"), 0);  // its handles closed
        }
        auto files = WorkFiles();
        // Each file replaced is kept whole as its backup.
        for (const auto& [name, content] : TakeBackups(&files)) {
          EXPECT_EQ(content, earlier.at(name.substr(0, name.rfind(".~"))))
              << what << " " << name;
        }
        EXPECT_EQ(files.size(), 29u) << what;
        for (int i = 0; i < 29; ++i) {
          EXPECT_EQ(files.at(kPlan[i].name),
                    i < 8 ? ExpectedFile(kPlan[i]) : earlier.at(kPlan[i].name))
              << what << " " << kPlan[i].name;
        }
      }
    }
  }

  // The sector lines of work/tamrek.map that are about the files there as
  // they are (their checksum is the file's), as "NAME disk D, cylinder C,
  // head H, sector R"; and in `*records`, for each file that a line is about
  // as it is, the kind of its record: "complete", "found", "changed", or
  // "sectors".
  std::set<std::string> MapSectors(
      std::map<std::string, std::string>* records = nullptr) {
    std::set<std::string> sectors;
    std::ifstream in(work / "tamrek.map");
    std::string line;
    if (!std::getline(in, line)) return sectors;
    EXPECT_EQ(line, "tamrek-map 2");
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream words(line);
      std::string name, crc, disk, c, h, r;
      words >> name >> crc >> disk >> c >> h >> r;
      char own[16];
      std::snprintf(own, sizeof own, "%08x", Crc32(ReadAll(work / name)));
      if (crc != own) continue;
      if (records != nullptr) (*records)[name] = c.empty() ? disk : "sectors";
      if (!c.empty()) {
        sectors.insert(name + " disk " + disk + ", cylinder " + c + ", head " +
                       h + ", sector " + r);
      }
    }
    return sectors;
  }

  // Expects every sector that the folder presents as read cleanly to hold
  // the demo bytes.  With a map: every sector of a file whose record says
  // complete, or that lists other sectors; of a file found before the map,
  // or in a folder without one, every sector that is not all zero bytes (as
  // where a run without knowledge could read nothing); of any other file,
  // none.
  void ExpectFolderTrue(const std::string& what) {
    std::map<std::string, std::string> records;
    const std::set<std::string> listed = MapSectors(&records);
    const bool mapped = fs::exists(work / "tamrek.map");
    for (const PlanRow& row : kPlan) {
      const Bytes bytes = ReadAll(work / row.name);
      if (fs::is_symlink(work / row.name) ||
          bytes.size() != static_cast<std::size_t>(row.length)) {
        continue;
      }
      const std::string kind = records.count(row.name) ? records[row.name] : "";
      if (mapped && (kind.empty() || kind == "changed")) continue;
      const bool known = kind == "complete" || kind == "sectors";
      const Bytes expected = ExpectedFile(row);
      for (int i = 0; i < Pieces(row); ++i) {
        if (listed.count(row.name + (" " + SectorName(row, i))) != 0) continue;
        const auto begin = static_cast<std::ptrdiff_t>(512 * i);
        const auto end = std::min<std::ptrdiff_t>(begin + 512, row.length);
        const bool zero =
            std::all_of(bytes.begin() + begin, bytes.begin() + end,
                        [](std::uint8_t b) { return b == 0; });
        EXPECT_TRUE((!known && zero) ||
                    std::equal(bytes.begin() + begin, bytes.begin() + end,
                               expected.begin() + begin))
            << what << ": " << row.name << " " << SectorName(row, i)
            << " passes for read cleanly";
      }
    }
  }

  // Expects every file of the plan in `work` to hold what the complete demo
  // file gives.
  void ExpectEveryFileWhole(const std::string& what = "") const {
    for (const PlanRow& row : kPlan) {
      EXPECT_EQ(ReadAll(work / row.name), ExpectedFile(row))
          << what << " " << row.name;
    }
  }

  void ClearWork() {
    fs::remove_all(work);
    fs::create_directories(work);
  }

  // Makes `options` run the tool as another user (nobody, when root): that
  // user must reach the tool, the input and the directory, and the build
  // tree may lie where it cannot, so it runs a copy of the tool.
  void RunAsNobody(RunOptions* options) {
    options->asNobody = true;
    if (geteuid() != 0) return;
    fs::permissions(root, fs::perms::all);
    fs::permissions(input, fs::perms::owner_all | fs::perms::others_read);
    options->tool = (root / "tamrek").string();
    fs::copy_file(ToolCommand().back(), options->tool);
    fs::permissions(options->tool, fs::perms::owner_all |
                                       fs::perms::others_read |
                                       fs::perms::others_exec);
  }

  // Names and contents of every entry the run left in the work directory.
  std::map<std::string, Bytes> WorkFiles() const {
    std::map<std::string, Bytes> files;
    for (const auto& e : fs::directory_iterator(work)) {
      files[e.path().filename().string()] =
          e.is_regular_file() ? ReadAll(e.path()) : Bytes();
    }
    return files;
  }

  // Fills every name of the plan with a file of its length, all `fill`
  // bytes, as an earlier extraction the user keeps (one of zero bytes is
  // one that an earlier run could read nothing of).  Returns the files'
  // contents.
  std::map<std::string, Bytes> PlantEarlierExtraction(
      std::uint8_t fill = 0xEA) const {
    std::map<std::string, Bytes> earlier;
    for (const PlanRow& row : kPlan) {
      earlier[row.name] = Bytes(static_cast<std::size_t>(row.length), fill);
      EXPECT_TRUE(WriteFile((work / row.name).string(), earlier[row.name]));
    }
    return earlier;
  }

  // The line of a clean file that replaces one differing in every sector,
  // which is kept as NAME.~1~.
  static std::string ReplacesLine(const PlanRow& row) {
    return std::string(row.name) +
           " replaces a file that differed from this image in " +
           std::to_string(Pieces(row)) + " of its " +
           std::to_string(Pieces(row)) + " sectors; that file is kept as " +
           row.name + ".~1~.\n";
  }

  // The entries of WorkFiles() that are numbered backups (NAME.~N~), each
  // with the name of the file it keeps; the others stay in `*files`.
  static std::map<std::string, Bytes> TakeBackups(
      std::map<std::string, Bytes>* files) {
    std::map<std::string, Bytes> backups;
    for (auto it = files->begin(); it != files->end();) {
      const std::size_t mark = it->first.rfind(".~");
      if (mark != std::string::npos && it->first.back() == '~') {
        backups[it->first] = it->second;
        it = files->erase(it);
      } else {
        ++it;
      }
    }
    return backups;
  }

  static std::string CreatedLines(const std::vector<std::string>& skip = {}) {
    std::string out;
    for (const PlanRow& row : kPlan) {
      bool skipped = false;
      for (const std::string& s : skip) skipped = skipped || s == row.name;
      if (!skipped) out += std::string(row.name) + " is created.\n";
    }
    return Console(out);
  }

  fs::path root, work;
  std::string input;
};

}  // namespace e2e

#endif  // TAMREK_EXTRACT_TAMREK_E2E_TEST_H_
