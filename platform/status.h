// Status: the result of one step on the file system: done, refused because
// something already holds the name, or failed for a cause given in plain
// English, lower case ("the disk is full", "permission denied"), ready to
// follow "could not be written: " in a line for the user.

#ifndef TAMREK_PLATFORM_STATUS_H_
#define TAMREK_PLATFORM_STATUS_H_

#include <string>
#include <utility>

namespace platform {

class [[nodiscard]] Status {
 public:
  static Status Ok() { return Status(Kind::kOk, std::string()); }
  static Status NameTaken(std::string cause) {
    return Status(Kind::kNameTaken, std::move(cause));
  }
  static Status Failed(std::string cause) {
    return Status(Kind::kFailed, std::move(cause));
  }

  bool IsOk() const { return kind == Kind::kOk; }
  bool IsNameTaken() const { return kind == Kind::kNameTaken; }
  // Why the step did not succeed; empty when it did.
  const std::string& Cause() const { return cause; }

 private:
  enum class Kind { kOk, kNameTaken, kFailed };
  Status(Kind kind, std::string cause) : kind(kind), cause(std::move(cause)) {}

  Kind kind;
  std::string cause;
};

}  // namespace platform

#endif  // TAMREK_PLATFORM_STATUS_H_
