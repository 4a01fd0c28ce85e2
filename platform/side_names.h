// The names a run may give files beside NAME: NAME.tmp0 to NAME.tmp99, the
// temporary names under which a new file waits for the rename that puts it
// in place, and which a run killed at that moment leaves; and NAME.~1~ to
// NAME.~99~, the numbered backups (as cp, mv and install make them) that
// keep a file a clean read replaced.  One home for the schemes, for the
// systems' writes that choose the names and for the run that finds them.

#ifndef TAMREK_PLATFORM_SIDE_NAMES_H_
#define TAMREK_PLATFORM_SIDE_NAMES_H_

#include <string>

namespace platform {

constexpr int kTemporaryNames = 100;

// NAME.tmpK.  REQUIRES: 0 <= k < kTemporaryNames.
inline std::string TemporaryName(const std::string& name, int k) {
  return name + ".tmp" + std::to_string(k);
}

// K when `candidate` is TemporaryName(name, K), else -1.
inline int TemporaryNumber(const std::string& candidate,
                           const std::string& name) {
  const std::string prefix = name + ".tmp";
  if (candidate.size() <= prefix.size() ||
      candidate.size() > prefix.size() + 2 ||
      candidate.compare(0, prefix.size(), prefix) != 0) {
    return -1;
  }
  const std::string digits = candidate.substr(prefix.size());
  if (digits.size() > 1 && digits[0] == '0') return -1;
  int k = 0;
  for (const char ch : digits) {
    if (ch < '0' || ch > '9') return -1;
    k = k * 10 + (ch - '0');
  }
  return k;
}

constexpr int kBackupNames = 99;

// NAME.~N~.  REQUIRES: 1 <= n <= kBackupNames.
inline std::string BackupName(const std::string& name, int n) {
  return name + ".~" + std::to_string(n) + "~";
}

}  // namespace platform

#endif  // TAMREK_PLATFORM_SIDE_NAMES_H_
