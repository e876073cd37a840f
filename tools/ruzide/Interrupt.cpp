#include "Interrupt.h"

#include "ExitStatus.h"
#include "platform/WinTypes.h"

#ifndef _WIN32
#include <signal.h>
#include <unistd.h>
#endif

namespace ruzide {
namespace tool {

namespace {

#ifdef _WIN32
BOOL WINAPI OnControl(DWORD /*type*/) {
  ExitProcess(kExitOk);
  return TRUE;
}
#else
// Only _exit is safe here; everything printed was flushed already.
void OnSignal(int /*signal*/) { _exit(kExitOk); }
#endif

}  // namespace

void ExitOnInterrupt() {
#ifdef _WIN32
  SetConsoleCtrlHandler(OnControl, TRUE);
#else
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

}  // namespace tool
}  // namespace ruzide
