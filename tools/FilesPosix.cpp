#include "Files.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Document.h"

extern char** environ;

namespace zebfile {
namespace {

std::string Reason(int error) { return std::strerror(error); }

class Descriptor {
public:
  explicit Descriptor(int fd = -1) : m_Fd(fd) {}
  ~Descriptor() {
    if (m_Fd >= 0) {
      close(m_Fd);
    }
  }
  Descriptor(Descriptor const&) = delete;
  Descriptor& operator=(Descriptor const&) = delete;
  int Get() const { return m_Fd; }
  int Release() { return std::exchange(m_Fd, -1); }

private:
  int m_Fd;
};

class PosixFile : public OutputFile {
public:
  // `temporary` is empty for a new file, else the name the bytes go to until
  // they replace `name`.
  PosixFile(int directory, int fd, std::string name, std::string temporary, std::string shown)
      : m_Directory(directory), m_Fd(fd), m_Name(std::move(name)), m_Temporary(std::move(temporary)),
        m_Shown(std::move(shown)) {}
  ~PosixFile() override {
    if (m_Fd.Get() >= 0 && !m_Temporary.empty()) {
      unlinkat(m_Directory, m_Temporary.c_str(), 0);
    }
  }

  void Write(void const* data, size_t count) override {
    auto const* bytes = static_cast<char const*>(data);
    while (count > 0) {
      ssize_t done = write(m_Fd.Get(), bytes, count);
      if (done < 0 && errno == EINTR) {
        continue;
      }
      if (done <= 0) {
        Fail(done < 0 ? errno : ENOSPC);
      }
      bytes += done;
      count -= size_t(done);
    }
  }

  void Finish() override {
    int fd = m_Fd.Release();
    if (close(fd) != 0) {
      Fail(errno);
    }
    // rename replaces the entry itself: a link put there meanwhile is
    // replaced, never written through.
    if (!m_Temporary.empty() && renameat(m_Directory, m_Temporary.c_str(), m_Directory, m_Name.c_str()) != 0) {
      int error = errno;
      unlinkat(m_Directory, m_Temporary.c_str(), 0);
      Fail(error);
    }
  }

private:
  [[noreturn]] void Fail(int error) const { throw ToolError("cannot write " + m_Shown + ": " + Reason(error)); }

  int m_Directory; // held by the OutputDirectory, which outlives its files
  Descriptor m_Fd;
  std::string m_Name, m_Temporary, m_Shown;
};

class PosixDirectory : public OutputDirectory {
public:
  explicit PosixDirectory(int fd) : m_Fd(fd) {}

  std::unique_ptr<OutputDirectory> MakeDirectory(std::string const& name, bool reuse,
                                                 std::string const& shown) override {
    if (mkdirat(m_Fd.Get(), name.c_str(), 0777) != 0) {
      if (errno != EEXIST) {
        throw ToolError("cannot create " + shown + ": " + Reason(errno));
      }
      if (!reuse) {
        return nullptr;
      }
    }
    int fd = openat(m_Fd.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      // A link or a file (or one put there since mkdirat) is in the way.
      if (errno == ELOOP || errno == ENOTDIR) {
        return nullptr;
      }
      throw ToolError("cannot open " + shown + ": " + Reason(errno));
    }
    return std::make_unique<PosixDirectory>(fd);
  }

  std::unique_ptr<OutputFile> MakeFile(std::string const& name, bool replace, std::string const& shown) override {
    int const flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = openat(m_Fd.Get(), name.c_str(), flags, 0666);
    if (fd >= 0) {
      return std::make_unique<PosixFile>(m_Fd.Get(), fd, name, std::string(), shown);
    }
    if (errno != EEXIST) {
      throw ToolError("cannot create " + shown + ": " + Reason(errno));
    }
    struct stat status;
    if (!replace || fstatat(m_Fd.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode)) {
      return nullptr;
    }
    for (unsigned n = 0;; ++n) {
      std::string temporary = "." + name.substr(0, 200) + ".zebfile-" + std::to_string(getpid()) + "-" + std::to_string(n);
      fd = openat(m_Fd.Get(), temporary.c_str(), flags, 0666);
      if (fd >= 0) {
        return std::make_unique<PosixFile>(m_Fd.Get(), fd, name, temporary, shown);
      }
      if (errno != EEXIST || n == 100) {
        throw ToolError("cannot create " + shown + ": " + Reason(errno));
      }
    }
  }

private:
  Descriptor m_Fd;
};

// The views being read: a slot is free when its begin is 0. The signal
// handler reads them with lock-free atomics only.
struct View {
  std::atomic<uintptr_t> begin{0}, end{0};
  std::atomic<bool> faulted{false};
};
constexpr int VIEW_SLOTS = 512;
View g_Views[VIEW_SLOTS];
std::mutex g_ViewsMutex; // taken by registration only, never by the handler
struct sigaction g_Previous;
uintptr_t g_PageSize = 4096;

// A read past the end of a file that shrank: the page becomes a private page
// of zeros, so the read completes and the reader finishes its work; the view
// is marked so that its result is thrown away. A fault anywhere else gets the
// handler that was there before (by default: the end of the process).
void OnBusError(int signal, siginfo_t* info, void* context) {
  auto address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (auto& view : g_Views) {
    uintptr_t begin = view.begin.load(std::memory_order_acquire);
    if (begin != 0 && address >= begin && address < view.end.load(std::memory_order_acquire)) {
      void* page = reinterpret_cast<void*>(address & ~(g_PageSize - 1));
      if (mmap(page, g_PageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
        view.faulted.store(true, std::memory_order_release);
        return;
      }
      break;
    }
  }
  if (g_Previous.sa_flags & SA_SIGINFO) {
    if (g_Previous.sa_sigaction != nullptr) {
      g_Previous.sa_sigaction(signal, info, context);
      return;
    }
  } else if (g_Previous.sa_handler != SIG_DFL && g_Previous.sa_handler != SIG_IGN) {
    g_Previous.sa_handler(signal);
    return;
  }
  // The fault happens again on return, now with the default action.
  std::signal(SIGBUS, SIG_DFL);
}

void InstallBusErrorHandler() {
  g_PageSize = uintptr_t(sysconf(_SC_PAGESIZE));
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &g_Previous);
}

} // namespace

std::unique_ptr<OutputDirectory> OutputDirectory::Open(std::string const& path) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path), error);
  if (error) {
    throw ToolError("cannot create " + path + ": " + error.message());
  }
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    throw ToolError("cannot open " + path + ": " + Reason(errno));
  }
  return std::make_unique<PosixDirectory>(fd);
}

MappedViewGuard::MappedViewGuard(void const* view, size_t size) {
  static std::once_flag installed;
  std::call_once(installed, InstallBusErrorHandler);
  if (view == nullptr || size == 0) {
    return;
  }
  std::lock_guard<std::mutex> lock(g_ViewsMutex);
  for (int i = 0; i < VIEW_SLOTS; ++i) {
    if (g_Views[i].begin.load() == 0) {
      g_Views[i].faulted.store(false);
      g_Views[i].end.store(reinterpret_cast<uintptr_t>(view) + size);
      g_Views[i].begin.store(reinterpret_cast<uintptr_t>(view), std::memory_order_release);
      m_Slot = i;
      return;
    }
  }
}

MappedViewGuard::~MappedViewGuard() {
  if (m_Slot >= 0) {
    std::lock_guard<std::mutex> lock(g_ViewsMutex);
    g_Views[m_Slot].begin.store(0, std::memory_order_release);
  }
}

bool MappedViewGuard::Faulted() const noexcept {
  return m_Slot >= 0 && g_Views[m_Slot].faulted.load(std::memory_order_acquire);
}

void TestHook(char const* point, std::string const& path) {
  char const* hook = std::getenv("ZEBFILE_TEST_HOOK");
  if (hook == nullptr || *hook == '\0') {
    return;
  }
  char const* argv[] = {"sh", "-c", hook, "zebfile-test-hook", point, path.c_str(), nullptr};
  pid_t child;
  if (posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) == 0) {
    int status;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

} // namespace zebfile
