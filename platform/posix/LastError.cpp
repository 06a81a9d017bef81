#include "ZEBPlatform/Win32.h"

namespace {
thread_local DWORD t_LastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return t_LastError; }

void SetLastError(DWORD error) { t_LastError = error; }
