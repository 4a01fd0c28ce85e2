// A seam for the tests of interrupted runs under Wine, where strace cannot
// reach the program's own system calls: the run calls PauseBeforePlacing()
// with each output file's name once the file waits, complete under its
// temporary name, to be put in place.  The program's own definition
// (placing_pause.cpp) does nothing; the test-only build that `make
// windows-test` makes, never shipped, links placing_pause_test.cpp instead.

#ifndef TAMREK_EXTRACT_PLACING_PAUSE_H_
#define TAMREK_EXTRACT_PLACING_PAUSE_H_

#include <string>

void PauseBeforePlacing(const std::string& name);

#endif  // TAMREK_EXTRACT_PLACING_PAUSE_H_
