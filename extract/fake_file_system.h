// FakeFileSystem: a folder in memory for the tests of what a run decides to
// read, merge, keep and write.  Every change is atomic, as the real one's
// renames are, and leaves a snapshot of the whole folder, so that a test
// can check the folder as a crash at any instant of a run would leave it.
// A test may act between the run's steps (`before`: another program editing
// a file, another run holding the lock), plant files, links and
// directories, and make a write fail.

#ifndef TAMREK_EXTRACT_FAKE_FILE_SYSTEM_H_
#define TAMREK_EXTRACT_FAKE_FILE_SYSTEM_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

class FakeFileSystem : public platform::FileSystem {
 public:
  using Bytes = std::vector<std::uint8_t>;
  struct Entry {
    platform::Found kind = platform::Found::kRegular;
    Bytes content;
    platform::FileIdentity identity;
    bool readOnly = false;
  };
  using Folder = std::map<std::string, Entry>;

  Folder files;
  std::vector<Folder> snapshots;  // the folder after each change
  // "lock", "wait", "list", "write NAME" (with " over" when it may replace,
  // " flushed" when the data is flushed first), "link NAME BACKUP", "move
  // NAME BACKUP", "remove NAME", "flush".
  std::vector<std::string> log;
  // The number of snapshots taken when each flush of the folder was made:
  // a power cut keeps what they hold, and of the changes after the last
  // one, any.
  std::vector<std::size_t> flushedAt;
  // Runs before each operation on a name: ("read", NAME), ("write", NAME).
  std::function<void(const std::string&, const std::string&)> before;
  bool lockHeld = false;  // another run holds the lock until it is waited for
  std::string noLock;     // why no lock can be held, if none can
  bool hardLinks = true;  // KeepAs links; without, it moves the file
  // Writes to NAME and its removal fail: the cause.
  std::map<std::string, std::string> failing;
  std::string input;  // the name that is the file being read, if any

  // Puts a regular file `name` holding `content` there, as another program.
  void Plant(const std::string& name, const Bytes& content) {
    Entry& entry = files[name];
    entry.kind = platform::Found::kRegular;
    entry.content = content;
    entry.identity = NewIdentity(content.size());
  }
  // Puts something else there: a directory, a link.
  void PlantOther(const std::string& name, platform::Found kind) {
    files[name] = Entry{kind, {}, NewIdentity(0), false};
  }
  // Changes `name` in place, as an editor that restores the time of last
  // write afterwards does (cp -p, touch -r): only the change time moves.
  void EditKeepingModified(const std::string& name, const Bytes& content) {
    files.at(name).content = content;
    files.at(name).identity.changed = ++clock;
  }
  // Changes `name` in place on a volume that keeps no change time (FAT):
  // only the time of last write moves.
  void EditWithoutChangeTime(const std::string& name, const Bytes& content) {
    files.at(name).content = content;
    files.at(name).identity.modified = ++clock;
  }

  bool List(std::vector<platform::FolderEntry>* entries) override {
    log.push_back("list");
    entries->clear();
    for (const auto& [name, entry] : files) {
      entries->push_back(platform::FolderEntry{name, entry.kind});
    }
    return true;
  }

  platform::FileRead Read(const std::string& name, std::size_t limit,
                          bool) override {
    if (before) before("read", name);
    platform::FileRead read;
    const auto it = files.find(name);
    if (it == files.end()) return read;
    read.found = it->second.kind;
    read.identity = it->second.identity;
    if (read.found == platform::Found::kRegular) {
      if (it->second.content.size() > limit) {
        read.found = platform::Found::kTooLarge;
      } else {
        read.content = it->second.content;
      }
    }
    return read;
  }

  bool IsReadOnly(const std::string& name) override {
    const auto it = files.find(name);
    return it != files.end() && it->second.readOnly;
  }

  bool SameFile(const std::string& name, const std::string&) override {
    return name == input && files.count(name) != 0;
  }

  platform::WriteResult Write(const std::string& name, const std::uint8_t* data,
                              std::size_t size,
                              const platform::WriteMode& mode) override {
    if (before) before("write", name);
    platform::WriteResult result;
    const auto it = files.find(name);
    if (failing.count(name) != 0) {
      result.status = platform::Status::Failed(failing.at(name));
    } else if (it != files.end() && !mode.replace) {
      result.status = platform::Status::NameTaken("");
    } else if (it != files.end() &&
               it->second.kind == platform::Found::kDirectory) {
      result.status = platform::Status::Failed("a directory holds the name");
    } else if (mode.expected != nullptr &&
               (it == files.end() ||
                it->second.kind != platform::Found::kRegular ||
                it->second.identity != *mode.expected)) {
      result.status = platform::Status::NameTaken("");
    } else {
      Entry& entry = files[name];
      entry = Entry{platform::Found::kRegular, Bytes(data, data + size),
                    NewIdentity(size), false};
      Changed("write " + name + (mode.replace ? " over" : "") +
              (mode.flush ? " flushed" : ""));
    }
    return result;
  }

  platform::Status KeepAs(const std::string& name, const std::string& backup,
                          bool* moved) override {
    if (before) before("keep", name);
    *moved = false;
    if (failing.count(backup) != 0) {
      return platform::Status::Failed(failing.at(backup));
    }
    if (files.count(backup) != 0) return platform::Status::NameTaken("");
    files[backup] = files.at(name);
    if (!hardLinks) {
      files.erase(name);
      *moved = true;
    }
    Changed((hardLinks ? "link " : "move ") + name + " " + backup);
    return platform::Status::Ok();
  }

  platform::Status Remove(const std::string& name) override {
    if (failing.count(name) != 0) {
      return platform::Status::Failed(failing.at(name));
    }
    files.erase(name);
    Changed("remove " + name);
    return platform::Status::Ok();
  }

  platform::Status Flush() override {
    log.push_back("flush");
    flushedAt.push_back(snapshots.size());
    return platform::Status::Ok();
  }

  std::unique_ptr<platform::FolderLock> Lock(bool wait) override {
    if (lockHeld && !wait) return nullptr;
    lockHeld = false;  // the other run ended
    log.push_back(wait ? "wait" : "lock");
    return std::make_unique<platform::FolderLock>(noLock);
  }

 private:
  platform::FileIdentity NewIdentity(std::size_t size) {
    platform::FileIdentity identity;
    identity.volume = 1;
    identity.index = ++inodes;
    identity.size = size;
    identity.modified = identity.changed = ++clock;
    return identity;
  }
  void Changed(const std::string& what) {
    log.push_back(what);
    snapshots.push_back(files);
  }

  std::uint64_t inodes = 0;
  std::int64_t clock = 0;
};

#endif  // TAMREK_EXTRACT_FAKE_FILE_SYSTEM_H_
