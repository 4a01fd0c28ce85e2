// Inside the platform layer only: the one temporary name that an interrupt
// removes before the program ends (see PrepareProcess), and the hold on
// interrupts that changes it in one step with the file system call that
// creates, renames or removes the file under that name.

#ifndef TAMREK_PLATFORM_INTERRUPT_SLOT_H_
#define TAMREK_PLATFORM_INTERRUPT_SLOT_H_

#include <string>

#ifndef _WIN32
#include <signal.h>
#endif

namespace platform {
namespace internal {

// Makes the interrupts that end a run remove the name in the slot first.
void InstallInterruptHandlers();

// Holds the interrupts for its life (on Windows, the lock that the console
// event handler waits for): an interrupt that comes meanwhile takes effect
// on release, after the call and the slot agree again.
class InterruptSlot {
 public:
  InterruptSlot();
  ~InterruptSlot();
  InterruptSlot(const InterruptSlot&) = delete;
  InterruptSlot& operator=(const InterruptSlot&) = delete;

  // `path` is now the file an interrupt removes.
  void Fill(const std::string& path);
  // No file is.
  void Empty();

 private:
#ifndef _WIN32
  sigset_t previous;
#endif
};

}  // namespace internal
}  // namespace platform

#endif  // TAMREK_PLATFORM_INTERRUPT_SLOT_H_
