#include "Console.h"

#include <unistd.h>

namespace zebfile {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

// POSIX streams never translate line ends, and terminals take UTF-8 as it is.
void SetBinaryMode(std::FILE*) {}
void UseUtf8Console() {}

} // namespace zebfile
