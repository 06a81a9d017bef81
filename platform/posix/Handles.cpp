#include "ZEBPlatform/Win32.h"

// First pieces only: no call of the layer creates handles yet, so closing
// one can only be a caller error.
BOOL CloseHandle(HANDLE) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL FindClose(HANDLE) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
