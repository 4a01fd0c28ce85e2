// The program's own PauseBeforePlacing(): no pause.  See placing_pause.h.

#include "extract/placing_pause.h"

void PauseBeforePlacing(const std::string&) {}
