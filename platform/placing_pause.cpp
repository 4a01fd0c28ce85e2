// The program's own PauseBeforePlacing(): no pause.  See placing_pause.h.

#include "platform/placing_pause.h"

namespace platform {

void PauseBeforePlacing(const std::string&) {}

}  // namespace platform
