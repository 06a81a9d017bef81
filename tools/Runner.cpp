#include "Runner.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "Console.h"
#include "Document.h"
#include "Names.h"
#include "Sinks.h"

namespace zebfile {
namespace fs = std::filesystem;

namespace {

// Adds the regular files below `directory` to `found`, and a directory that
// cannot be read, or holds a name the system code page cannot write, as an
// input that failed already. Symbolic links to directories are not followed.
void Walk(fs::path const& directory, std::vector<Input>& found) {
  std::error_code error;
  std::vector<fs::path> subdirectories;
  fs::directory_iterator it(directory, error), end;
  for (; !error && it != end; it.increment(error)) {
    std::error_code typeError;
    if (it->is_directory(typeError) && !it->is_symlink(typeError)) {
      subdirectories.push_back(it->path());
    } else if (it->is_regular_file(typeError)) {
      try {
        found.push_back({it->path().string(), {}});
      } catch (std::exception const&) {
        found.push_back({directory.string(), "a file name there cannot be written in the system code page"});
      }
    }
  }
  if (error) {
    found.push_back({directory.string(), "cannot be read: " + error.message()});
  }
  for (auto const& subdirectory : subdirectories) {
    Walk(subdirectory, found);
  }
}

// The state the workers and the writer share.
class Schedule {
public:
  Schedule(size_t count, size_t window) : m_Results(count), m_Window(window) {}

  // The next input for a worker, or nothing when all are taken. A worker
  // waits while it would run too far ahead of the writer.
  std::optional<size_t> Take() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Changed.wait(lock, [&] { return m_Next >= m_Results.size() || m_Next < m_Written + m_Window; });
    if (m_Next >= m_Results.size()) {
      return std::nullopt;
    }
    return m_Next++;
  }

  void Done(size_t index, Outcome outcome) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Results[index] = std::move(outcome);
    m_Bytes += m_Results[index]->bytes;
    ++m_Finished;
    m_Changed.notify_all();
  }

  // The outcome of the next input in order, once it is there; waits at most
  // `timeout` and gives nothing when it is not.
  std::optional<Outcome> NextInOrder(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_Mutex);
    if (!m_Changed.wait_for(lock, timeout, [&] { return m_Results[m_Written].has_value(); })) {
      return std::nullopt;
    }
    Outcome outcome = std::move(*m_Results[m_Written]);
    m_Results[m_Written].reset();
    ++m_Written;
    m_Changed.notify_all();
    return outcome;
  }

  size_t Finished() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Finished;
  }
  uint64_t Bytes() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Bytes;
  }

private:
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
  std::vector<std::optional<Outcome>> m_Results;
  size_t m_Window;
  size_t m_Next = 0;
  size_t m_Written = 0;
  size_t m_Finished = 0;
  uint64_t m_Bytes = 0;
};

Outcome RunOne(Input const& input, Job const& job) {
  if (!input.error.empty()) {
    return {{}, input.error, 0};
  }
  try {
    return job(input);
  } catch (...) {
    return {{}, DescribeCurrentException(), 0};
  }
}

} // namespace

std::vector<Input> ExpandInputs(std::vector<std::string> const& arguments, bool recursive) {
  std::vector<Input> inputs;
  for (auto const& argument : arguments) {
    std::error_code error;
    if (!fs::is_directory(fs::path(argument), error)) {
      inputs.push_back({argument, {}});
    } else if (!recursive) {
      inputs.push_back({argument, "is a directory (use -r to read the files in it)"});
    } else {
      std::vector<Input> found;
      Walk(fs::path(argument), found);
      std::stable_sort(found.begin(), found.end(), [](Input const& a, Input const& b) { return a.name < b.name; });
      inputs.insert(inputs.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    }
  }
  return inputs;
}

void ReportError(std::string const& name, std::string const& reason) {
  std::fprintf(stderr, "zebfile: %s: %s\n", ShowFileName(name).c_str(), reason.c_str());
}

int RunInOrder(std::vector<Input> const& inputs, unsigned threads, Job const& job, std::string const& separator) {
  if (inputs.empty()) {
    return 0;
  }
  threads = std::max(1u, std::min<unsigned>(threads, unsigned(inputs.size())));
  Schedule schedule(inputs.size(), 16 * size_t(threads) + 16);
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      while (auto index = schedule.Take()) {
        schedule.Done(*index, RunOne(inputs[*index], job));
      }
    });
  }

  using Clock = std::chrono::steady_clock;
  bool const terminal = inputs.size() > 1 && IsTerminal(stderr);
  bool const stdoutTerminal = IsTerminal(stdout);
  auto const start = Clock::now();
  auto lastShown = start;
  bool progressShown = false;
  bool anyOutput = false;
  int status = 0;
  for (size_t written = 0; written < inputs.size();) {
    auto outcome = schedule.NextInOrder(std::chrono::milliseconds(100));
    auto now = Clock::now();
    if (terminal && now - start > std::chrono::milliseconds(500) && now - lastShown >= std::chrono::milliseconds(100)) {
      lastShown = now;
      std::fprintf(stderr, "\rzebfile: %zu/%zu files, %.1f MB read", schedule.Finished(), inputs.size(),
                   double(schedule.Bytes()) / 1e6);
      std::fflush(stderr);
      progressShown = true;
    }
    if (!outcome) {
      continue;
    }
    ++written;
    // The progress line goes before text on the same terminal, and is drawn
    // again at the next tick.
    if (progressShown && (!outcome->error.empty() || (stdoutTerminal && !outcome->out.empty()))) {
      ClearProgressLine();
      progressShown = false;
    }
    if (!outcome->out.empty()) {
      if (anyOutput) {
        std::fputs(separator.c_str(), stdout);
      }
      std::fwrite(outcome->out.data(), 1, outcome->out.size(), stdout);
      std::fflush(stdout);
      anyOutput = true;
    }
    if (!outcome->error.empty()) {
      ReportError(inputs[written - 1].name, outcome->error);
    }
    if (!outcome->error.empty() || outcome->damaged) {
      status = 1;
    }
  }
  for (auto& worker : workers) {
    worker.join();
  }
  if (progressShown) {
    ClearProgressLine();
  }
  return status;
}

} // namespace zebfile
