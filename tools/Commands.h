// The tool's commands. The ones over many files give one Outcome per file
// (Runner writes them in order); the others write directly and give the exit
// status.
#pragma once

#include <string>
#include <vector>

#include "Runner.h"

namespace zebfile {

struct ListOptions {
  bool json = false;
  bool hash = false;
  bool heading = false; // name each file above its text output
};

// The storage tree, indented, stream sizes (with the bytes readable when
// fewer) and digests; or one JSON line with the file's defects.
Outcome ListFile(Input const& input, ListOptions const& options);
// The merged properties as "name: value" lines; or one JSON line.
Outcome ListProperties(Input const& input, ListOptions const& options);

// Reads every structure and stream of the file; its defects, one "FILE:
// defect" line each, or "FILE: ok"; or one JSON line. A damaged file is
// marked so in the outcome.
Outcome CheckFile(Input const& input, ListOptions const& options);

// The raw bytes of one stream, named by its '/'-separated path as ls shows it.
void CatStream(std::string const& file, std::string const& streamPath);
// Every storage as a directory and every stream as a file under `directory`
// (only those below the storage at `entryPath`, or only the stream there, when
// it is not empty),
// made through directory handles held open. An entry whose name exists there
// gets the error line "DIR/x exists" and is left (a storage with its content);
// with `force` existing regular files are replaced and existing directories
// entered, links never. False when something was left.
bool Extract(std::string const& file, std::string const& directory, std::string const& entryPath, bool force);
// A new compound file `file` (version 3 or 4) from the directory tree, the
// names decoded as DecodeSafeName does.
void Pack(std::string const& directory, std::string const& file, unsigned version);
// A copy of `file` at `output` with the properties of `assignments`
// ("NAME=VALUE") changed or added; every other stream copied as it is.
void SetProperties(std::string const& file, std::vector<std::string> const& assignments, std::string const& output);
// The canonical form of each text and its parts.
void ShowPaths(std::vector<std::string> const& texts);

} // namespace zebfile
