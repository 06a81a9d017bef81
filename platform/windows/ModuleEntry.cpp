// Module entry of a shared library of the family: no start-up work beyond the
// static objects; thread notifications are not wanted.
#include "ZEBPlatform/Win32.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH)
    DisableThreadLibraryCalls(instance);
  return TRUE;
}
