#include "Files.h"

#include <filesystem>

#include <windows.h>

#include "Document.h"

namespace zebfile {
namespace {

std::wstring Wide(UINT codePage, std::string const& text) {
  if (text.empty()) {
    return std::wstring();
  }
  int count = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(size_t(count), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), wide.data(), count);
  return wide;
}

std::string Reason(DWORD error) {
  char text[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.')) {
    text[--length] = '\0';
  }
  return length > 0 ? std::string(text, length) : "system error " + std::to_string(error);
}

class Handle {
public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : m_Handle(handle) {}
  ~Handle() { Close(); }
  Handle(Handle const&) = delete;
  Handle& operator=(Handle const&) = delete;
  HANDLE Get() const { return m_Handle; }
  bool Close() {
    bool closed = m_Handle == INVALID_HANDLE_VALUE || CloseHandle(m_Handle);
    m_Handle = INVALID_HANDLE_VALUE;
    return closed;
  }

private:
  HANDLE m_Handle;
};

bool IsPlainFile(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// Windows has no creation relative to a directory handle in its documented
// API. Each directory is held open without FILE_SHARE_DELETE instead, so that
// neither it nor any directory above it can be renamed or removed while
// extract runs: the path of a held directory keeps naming it. Nothing is
// opened through a reparse point.
HANDLE OpenDirectory(std::wstring const& path) {
  return CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

class WindowsFile : public OutputFile {
public:
  WindowsFile(HANDLE handle, std::wstring path, std::wstring temporary, std::string shown)
      : m_Handle(handle), m_Path(std::move(path)), m_Temporary(std::move(temporary)), m_Shown(std::move(shown)) {}
  ~WindowsFile() override {
    if (m_Handle.Get() != INVALID_HANDLE_VALUE && !m_Temporary.empty()) {
      m_Handle.Close();
      DeleteFileW(m_Temporary.c_str());
    }
  }

  void Write(void const* data, size_t count) override {
    auto const* bytes = static_cast<char const*>(data);
    while (count > 0) {
      DWORD piece = DWORD(count < (1u << 30) ? count : (1u << 30)), done = 0;
      if (!WriteFile(m_Handle.Get(), bytes, piece, &done, nullptr) || done == 0) {
        Fail(GetLastError());
      }
      bytes += done;
      count -= done;
    }
  }

  void Finish() override {
    if (!m_Handle.Close()) {
      Fail(GetLastError());
    }
    if (!m_Temporary.empty() && !MoveFileExW(m_Temporary.c_str(), m_Path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      DWORD error = GetLastError();
      DeleteFileW(m_Temporary.c_str());
      Fail(error);
    }
  }

private:
  [[noreturn]] void Fail(DWORD error) const { throw ToolError("cannot write " + m_Shown + ": " + Reason(error)); }

  Handle m_Handle;
  std::wstring m_Path, m_Temporary;
  std::string m_Shown;
};

class WindowsDirectory : public OutputDirectory {
public:
  WindowsDirectory(HANDLE handle, std::wstring path) : m_Handle(handle), m_Path(std::move(path)) {}

  std::unique_ptr<OutputDirectory> MakeDirectory(std::string const& name, bool reuse,
                                                 std::string const& shown) override {
    std::wstring path = Child(name);
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
      if (GetLastError() != ERROR_ALREADY_EXISTS) {
        throw ToolError("cannot create " + shown + ": " + Reason(GetLastError()));
      }
      if (!reuse) {
        return nullptr;
      }
    }
    HANDLE handle = OpenDirectory(path);
    BY_HANDLE_FILE_INFORMATION information;
    if (handle == INVALID_HANDLE_VALUE) {
      return nullptr;
    }
    if (!GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      CloseHandle(handle);
      return nullptr;
    }
    return std::make_unique<WindowsDirectory>(handle, path);
  }

  std::unique_ptr<OutputFile> MakeFile(std::string const& name, bool replace, std::string const& shown) override {
    std::wstring path = Child(name);
    HANDLE handle = Create(path);
    if (handle != INVALID_HANDLE_VALUE) {
      return std::make_unique<WindowsFile>(handle, path, std::wstring(), shown);
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      throw ToolError("cannot create " + shown + ": " + Reason(error));
    }
    if (!replace || !IsPlainFile(GetFileAttributesW(path.c_str()))) {
      return nullptr;
    }
    for (unsigned n = 0;; ++n) {
      std::wstring temporary =
          m_Path + L"\\." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(n) + L".zebfile";
      handle = Create(temporary);
      if (handle != INVALID_HANDLE_VALUE) {
        return std::make_unique<WindowsFile>(handle, path, temporary, shown);
      }
      if (GetLastError() != ERROR_FILE_EXISTS || n == 100) {
        throw ToolError("cannot create " + shown + ": " + Reason(GetLastError()));
      }
    }
  }

private:
  std::wstring Child(std::string const& name) const { return m_Path + L"\\" + Wide(CP_UTF8, name); }
  static HANDLE Create(std::wstring const& path) {
    return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  }

  Handle m_Handle;
  std::wstring m_Path;
};

} // namespace

std::unique_ptr<OutputDirectory> OutputDirectory::Open(std::string const& path) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path), error);
  if (error) {
    throw ToolError("cannot create " + path + ": " + error.message());
  }
  std::wstring wide = Wide(CP_ACP, path);
  while (wide.size() > 1 && (wide.back() == L'\\' || wide.back() == L'/')) {
    wide.pop_back();
  }
  HANDLE handle = CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    throw ToolError("cannot open " + path + ": " + Reason(GetLastError()));
  }
  return std::make_unique<WindowsDirectory>(handle, wide);
}

// Windows refuses to shrink a file while a view of it exists
// (ERROR_USER_MAPPED_FILE): a read of the view cannot fault that way.
MappedViewGuard::MappedViewGuard(void const*, size_t) {}
MappedViewGuard::~MappedViewGuard() = default;
bool MappedViewGuard::Faulted() const noexcept { return false; }

void TestHook(char const*, std::string const&) {}

} // namespace zebfile
