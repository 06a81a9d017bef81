#include "ZEBPlatform/Win32.h"

#include "ZEBPlatform/Config.h"

#include <cerrno>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&section->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_destroy(&section->mutex); }

void EnterCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_lock(&section->mutex); }

void LeaveCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_unlock(&section->mutex); }

DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

BOOL DisableThreadLibraryCalls(HMODULE) { return TRUE; }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

namespace ZEBPlatform {

System LiveSystem() { return System::PosixLayer; }

int RunInChildProcess(int (*body)(void*), void* argument) {
  pid_t child = ::fork();
  if (child < 0)
    return -1;
  if (child == 0)
    ::_exit(body(argument));
  int status = 0;
  while (::waitpid(child, &status, 0) < 0)
    if (errno != EINTR)
      return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace ZEBPlatform
