// What the tool needs from the console that differs between the systems: is a
// stream a terminal, raw bytes on standard output, UTF-8 text on a console.
// One implementation per system, chosen by the build.
#pragma once

#include <cstdio>

namespace zebfile {

bool IsTerminal(std::FILE* stream);
// Bytes written to the stream pass unchanged (no line-end translation).
void SetBinaryMode(std::FILE* stream);
// Text written to a console is shown as UTF-8.
void UseUtf8Console();

} // namespace zebfile
