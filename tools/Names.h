// The names of storages and streams as the tool shows them, reads them back
// and writes them to disk. Names are UTF-16 units as the file holds them.
#pragma once

#include <string>
#include <set>
#include <vector>

#include "ZEB/Types.h"

namespace zebfile {

// UTF-8 text of a name or value; unpaired surrogates become U+FFFD.
std::string Utf8(ZEB::WString const& text);
// UTF-8 text of a narrow string in the system code page (file names, paths).
std::string SystemToUtf8(std::string const& text);

// A name for the terminal: control characters as \xHH, other characters that
// cannot be seen (format characters, unpaired surrogates, non-characters) as
// \uHHHH, '\' as \\ and '/' as \x2F, so that a path of such names, joined
// with '/', reads back with ParsePath.
std::string ShowName(ZEB::WString const& name);
// A name for a path in JSON: as it is, but '\' as \\, '/' as \x2F and
// unpaired surrogates as \uHHHH, so that the path reads back with ParsePath
// and two paths of different names differ.
std::string PathName(ZEB::WString const& name);
// A file name given or found, for one line of output: as SystemToUtf8, with
// control and invisible characters escaped as ShowValue does.
std::string ShowFileName(std::string const& systemName);
// A property value for one output line: control and invisible characters
// escaped as above, the rest as it is.
std::string ShowValue(ZEB::WString const& value);
// How many characters the terminal shows for a UTF-8 text.
size_t Columns(std::string const& utf8);

// Splits a '/'-separated path as ShowName writes it into its names; the
// escapes \\, \xHH and \uHHHH are undone, a '\' before anything else stays.
std::vector<ZEB::WString> ParsePath(std::string const& text);

// Gives each entry of one directory a file name that is safe on every file
// system: no separators, no control or reserved characters, never "." or
// "..", no reserved device name, no trailing dot or space, and unique in the
// directory ignoring letter case. Such characters are written %HH (or %uHHHH
// beyond ASCII), '%' itself as %25; a name met again gets ~2, ~3 ..., and the
// '~' of a name that itself ends so is written %7E: DecodeSafeName gives every
// name back exactly.
class SafeNames;

// The key a property named `name` is shown under: the name, or "name (2)",
// "name (3)" ... when `used` holds it already (a user-defined property may
// carry the name of a well-known one); the key is added to `used`.
std::string UniqueKey(std::string const& name, std::set<std::string>& used);

// The name a file name made by SafeNames stands for: %HH and %uHHHH undone,
// a ~N suffix (N from 2) dropped, "%" alone an empty name.
ZEB::WString DecodeSafeName(std::string const& fileName);

class SafeNames {
public:
  std::string Make(ZEB::WString const& name);

private:
  std::set<ZEB::WString> m_Used;
};

} // namespace zebfile
