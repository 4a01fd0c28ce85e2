// FileIdentity: which file a name held when it was read, and in which state,
// so that a later step can tell whether the name still holds that file,
// unchanged.  Two identities are the same only when every field is: the
// volume and the file's number on it (so that two mounts that number their
// files alike are told apart), its size, and the times of its last write and
// of its last change (a write whose time of last write was restored
// afterwards, as `cp -p` and `touch -r` do, still changes the latter).

#ifndef TAMREK_PLATFORM_FILE_IDENTITY_H_
#define TAMREK_PLATFORM_FILE_IDENTITY_H_

#include <cstdint>

namespace platform {

struct FileIdentity {
  std::uint64_t volume = 0;                // device, or volume serial number
  std::uint64_t index = 0, indexHigh = 0;  // inode, or 128-bit file ID
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // last write, in the system's own unit
  std::int64_t changed = 0;   // last change of data or attributes
};

inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index &&
         a.indexHigh == b.indexHigh && a.size == b.size &&
         a.modified == b.modified && a.changed == b.changed;
}
inline bool operator!=(const FileIdentity& a, const FileIdentity& b) {
  return !(a == b);
}

// Whether `a` and `b` are the same file, whatever state each was seen in.
inline bool SameFileOf(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index &&
         a.indexHigh == b.indexHigh;
}

}  // namespace platform

#endif  // TAMREK_PLATFORM_FILE_IDENTITY_H_
