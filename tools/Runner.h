// Runs one job per input on N worker threads and writes the results in the
// order of the inputs, with a progress line on a terminal.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zebfile {

// An input: a file to read, or one that already failed (a directory given
// without -r, a directory that could not be walked).
struct Input {
  std::string name;  // as given or found, in the system's narrow form
  std::string error; // the reason it failed already, else empty
};

// Expands the arguments: files as given, directories walked when `recursive`
// (regular files in name order, symbolic links to directories not followed).
std::vector<Input> ExpandInputs(std::vector<std::string> const& arguments, bool recursive);

struct Outcome {
  std::string out;   // for standard output
  std::string error; // the reason, when the input failed
  uint64_t bytes = 0; // bytes read, for the progress line
  bool damaged = false; // read, but found damaged: exit status 1 without an error line
};

using Job = std::function<Outcome(Input const&)>;

// Runs `job` for every input on `threads` threads, and writes each input's
// output, or its error line "zebfile: NAME: reason", in input order;
// `separator` goes between two outputs that are not empty. Exceptions of a
// job become its error line. Gives 1 when any input failed or was damaged,
// else 0.
int RunInOrder(std::vector<Input> const& inputs, unsigned threads, Job const& job, std::string const& separator);

// The error line for a name and a reason.
void ReportError(std::string const& name, std::string const& reason);

} // namespace zebfile
