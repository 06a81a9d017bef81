#include "Console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace zebfile {

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void SetBinaryMode(std::FILE* stream) {
  std::fflush(stream);
  _setmode(_fileno(stream), _O_BINARY);
}

void UseUtf8Console() {
  if (IsTerminal(stdout) || IsTerminal(stderr)) {
    SetConsoleOutputCP(CP_UTF8);
  }
}

} // namespace zebfile
