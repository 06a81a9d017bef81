// zebfile: looks inside OLE compound files (.doc, .xls, .ppt, .msi ...).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Console.h"
#include "Document.h"

namespace {

struct ManyFiles {
  std::vector<std::string> files;
  bool recursive = false;
  unsigned jobs = 1;
  zebfile::ListOptions options;
};

CLI::App* AddManyFilesCommand(CLI::App& app, char const* name, char const* description, char const* example,
                              ManyFiles& many) {
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("FILE", many.files, "Compound files, or directories with -r")->required()->type_name("");
  command->add_flag("--json", many.options.json, "One JSON object per file and line (JSON Lines)");
  command->add_flag("-r,--recursive", many.recursive, "Read every file under the directories given");
  command->add_option("-j,--jobs", many.jobs, "Read N files at a time; the output keeps the input order")
      ->check(CLI::Range(1, 256))
      ->type_name("N");
  command->footer(example);
  return command;
}

// `separator` goes between the text outputs of two files.
int RunManyFiles(ManyFiles& many, zebfile::Outcome (*command)(zebfile::Input const&, zebfile::ListOptions const&),
                 char const* separator = "\n") {
  std::vector<zebfile::Input> inputs = zebfile::ExpandInputs(many.files, many.recursive);
  many.options.heading = inputs.size() > 1;
  auto job = [&](zebfile::Input const& input) { return command(input, many.options); };
  return zebfile::RunInOrder(inputs, many.jobs, job, many.options.json ? "" : separator);
}

// Runs a command over one file; its failure is that file's error line.
template <class Command> int RunOnFile(std::string const& file, Command&& command) {
  try {
    return command();
  } catch (...) {
    std::fflush(stdout);
    zebfile::ReportError(file, zebfile::DescribeCurrentException());
    return 1;
  }
}

} // namespace

int main(int argc, char** argv) {
  zebfile::UseUtf8Console();
  CLI::App app("Looks inside OLE compound files (.doc, .xls, .ppt, .msi and others): their storage tree, "
               "their streams and their document properties.",
               "zebfile");
  app.set_version_flag("--version", "zebfile " ZEBFILE_VERSION);
  app.require_subcommand(1);
  // Stream and file names may begin with '/': never options, on Windows too.
  app.allow_windows_style_options(false);
  app.failure_message([](CLI::App const*, CLI::Error const& e) {
    return "zebfile: " + std::string(e.what()) + "\nRun 'zebfile --help' for the commands.\n";
  });
  app.footer("Exit status: 0 when every input was read, 1 when one could not be, 2 on a usage error.");

  ManyFiles list, props, checks;
  CLI::App* ls = AddManyFilesCommand(app, "ls", "Show the storage tree of each file, with stream sizes",
                                     "Example: zebfile ls --json --hash -r -j 2 archive/ | jq .", list);
  ls->add_flag("--hash", list.options.hash, "Add the SHA-256 of each stream");
  CLI::App* propsCommand = AddManyFilesCommand(app, "props", "Show the document properties of each file",
                                               "Example: zebfile props report.doc\n"
                                               "        zebfile props --set Title=Draft --set Pages=3 report.doc -o new.doc",
                                               props);
  std::vector<std::string> assignments;
  std::string output;
  propsCommand->add_option("--set", assignments,
                           "Write a copy with property NAME set: a built-in name goes to its set, another is "
                           "user-defined, typed from the text (integer, number, true/false, ISO 8601 date, else "
                           "string); needs -o")
      ->allow_extra_args(false)
      ->type_name("NAME=VALUE");
  propsCommand->add_option("-o,--output", output, "The copy --set writes")->type_name("OUT");

  CLI::App* check = AddManyFilesCommand(
      app, "check", "Read every structure and stream of each file and show its defects, or ok",
      "Lines 'FILE: defect' or 'FILE: ok'. Exit status 1 when a file is damaged or cannot be read.\n"
      "Example: zebfile check -r -j 2 archive/",
      checks);

  std::string file, stream, directory;
  std::string entry;
  bool force = false;
  CLI::App* cat = app.add_subcommand("cat", "Write the raw bytes of one stream to standard output");
  cat->add_option("FILE", file, "Compound file")->required()->type_name("");
  cat->add_option("STREAM", stream, "Stream path as ls shows it, e.g. '\\x05SummaryInformation' or 'Folder/A'")
      ->required()
      ->type_name("");
  cat->footer("Example: zebfile cat report.doc WordDocument > body.bin");

  CLI::App* extract =
      app.add_subcommand("extract", "Write every storage as a directory and every stream as a file under DIR");
  extract->add_option("FILE", file, "Compound file")->required()->type_name("");
  extract->add_option("DIR", directory, "Target directory (created when missing)")->required()->type_name("");
  extract->add_option("PATH", entry, "Only the storage (its content) or the stream at this path, as ls shows it")
      ->type_name("");
  extract->add_flag("--force", force, "Replace existing files (never links); write into existing directories");
  extract->footer("Names are made safe for any file system: control, separator and reserved characters become %HH\n"
                  "(%25 for '%'), never '.' or '..'; names equal ignoring case get ~2, ~3 ...\n"
                  "A name that exists in DIR is left as it is (error line, exit 1) unless --force replaces it.\n"
                  "Example: zebfile extract report.doc report-streams");

  std::string packed;
  unsigned version = 3;
  CLI::App* pack = app.add_subcommand("pack", "Build a compound file from a directory tree, the inverse of extract");
  pack->add_option("DIR", directory, "Directory: each folder a storage, each file a stream")->required()->type_name("");
  pack->add_option("FILE", packed, "Compound file to write (replaced when it exists)")->required()->type_name("");
  pack->add_option("--version", version, "3 (512-byte sectors, the default) or 4 (4096-byte sectors)")
      ->check(CLI::IsMember({3u, 4u}));
  pack->footer("Names escaped by extract are decoded: %HH, %uHHHH, a ~N suffix. Names other writers produce\n"
               "(reserved characters, siblings equal ignoring case) are written, and said so on standard error.\n"
               "Example: zebfile extract report.doc tree && zebfile pack tree copy.doc");

  std::vector<std::string> texts;
  CLI::App* path = app.add_subcommand("path", "Show the canonical form of each path and its parts");
  path->add_option("TEXT", texts, "Path texts")->required()->type_name("");
  path->footer("Example: zebfile path 'C:/Docs/../Reports/q3.doc' '\\\\server\\share\\notes.txt'");

  try {
    app.parse(argc, argv);
  } catch (CLI::ParseError const& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }

  if (ls->parsed()) {
    return RunManyFiles(list, zebfile::ListFile);
  }
  if (propsCommand->parsed() && (!assignments.empty() || !output.empty())) {
    if (assignments.empty() || output.empty() || props.files.size() != 1 || props.recursive || props.options.json) {
      std::fputs("zebfile: props --set takes one FILE and -o OUT (and neither -r nor --json)\n", stderr);
      return 2;
    }
    return RunOnFile(props.files[0], [&] {
      zebfile::SetProperties(props.files[0], assignments, output);
      return 0;
    });
  }
  if (pack->parsed()) {
    return RunOnFile(directory, [&] {
      zebfile::Pack(directory, packed, version);
      return 0;
    });
  }
  if (propsCommand->parsed()) {
    return RunManyFiles(props, zebfile::ListProperties);
  }
  if (check->parsed()) {
    return RunManyFiles(checks, zebfile::CheckFile, "");
  }
  if (cat->parsed()) {
    return RunOnFile(file, [&] {
      zebfile::CatStream(file, stream);
      return 0;
    });
  }
  if (extract->parsed()) {
    return RunOnFile(file, [&] { return zebfile::Extract(file, directory, entry, force) ? 0 : 1; });
  }
  zebfile::ShowPaths(texts);
  return 0;
}
