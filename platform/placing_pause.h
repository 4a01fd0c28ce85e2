// A seam for the tests under Wine, where strace cannot reach the program's
// own system calls: FileSystem::Write() calls PauseBeforePlacing() with each
// output file's name once the new file is written in full and waits to be
// put in place.  The program's own definition (placing_pause.cpp) does
// nothing; the test-only build that `make windows-test` makes, never
// shipped, links placing_pause_test.cpp instead.

#ifndef TAMREK_PLATFORM_PLACING_PAUSE_H_
#define TAMREK_PLATFORM_PLACING_PAUSE_H_

#include <string>

namespace platform {

void PauseBeforePlacing(const std::string& name);

}  // namespace platform

#endif  // TAMREK_PLATFORM_PLACING_PAUSE_H_
