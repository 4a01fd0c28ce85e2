// Opening the input file, the one file the program reads through the C
// library's streams.

#ifndef TAMREK_PLATFORM_INPUT_FILE_H_
#define TAMREK_PLATFORM_INPUT_FILE_H_

#include <cstdio>

namespace platform {

// Opens an existing file for binary reading.
// Returns nullptr when it cannot be opened (missing, no permission, or a
// directory where the system refuses to open one as a file).
std::FILE* OpenForReading(const char* path);

// Whether `file` can seek: a regular file or a disk, not a pipe, a FIFO, a
// socket or a character device (whose bytes can only be read in order).
bool CanSeek(std::FILE* file);

}  // namespace platform

#endif  // TAMREK_PLATFORM_INPUT_FILE_H_
