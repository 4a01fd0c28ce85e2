// PauseBeforePlacing() of the test-only build for the interrupt tests under
// Wine (see placing_pause.h): the output file named by
// TAMREK_TEST_PAUSE_BEFORE_PLACING waits, complete under its temporary name,
// until a line is read from standard input, so that the test can interrupt
// the run at that moment.

#include "platform/placing_pause.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

void PauseBeforePlacing(const std::string& name) {
  const char* paused = std::getenv("TAMREK_TEST_PAUSE_BEFORE_PLACING");
  if (paused == nullptr || name != paused) return;
  for (int ch = 0; ch != '\n' && ch != EOF;) ch = std::fgetc(stdin);
}

}  // namespace platform
