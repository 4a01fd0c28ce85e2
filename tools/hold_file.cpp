// A helper of the end-to-end tests under Wine: another Windows program that
// holds a file open as an editor or a virus scanner might, sharing reads and
// writes but not its deletion or renaming.  It prints "held" once it has
// the file, holds it for MILLISECONDS (or until it is ended), and exits 0;
// 1 when it cannot open the file.  Usage: hold_file PATH MILLISECONDS

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const HANDLE file =
      CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
  CloseHandle(file);
  return 0;
}
