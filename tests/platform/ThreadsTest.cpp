// Threads: each keeps its own last error, and files opened, written, read and
// closed on several threads at once keep to their own handles.
#include "PlatformTestSupport.h"

#include <atomic>
#include <thread>

using namespace PlatformTest;

TEST(Threads, LastErrorsAndHandlesStayApart) {
  Sandbox box;
  int const THREADS = 4, FILES = 25;
  std::atomic<int> failures{0}, ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t)
    threads.emplace_back([&, t] {
      std::vector<std::pair<HANDLE, std::string>> mine;
      DWORD count = 0;
      for (int f = 0; f < FILES; ++f) {
        std::string path = box["t" + std::to_string(t) + "-" + std::to_string(f) + ".txt"];
        HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
        if (file == INVALID_HANDLE_VALUE || !WriteFile(file, path.data(), DWORD(path.size()), &count, nullptr))
          ++failures;
        else
          mine.emplace_back(file, path);
      }
      // Every thread sets its own last error, then waits for all the others to have set theirs.
      SetLastError(DWORD(1000 + t));
      for (++ready; ready != THREADS;) {
      }
      if (GetLastError() != DWORD(1000 + t))
        ++failures;
      char buffer[MAX_PATH];
      for (auto const& [file, path] : mine)
        if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0 || !ReadFile(file, buffer, MAX_PATH, &count, nullptr) ||
            std::string(buffer, count) != path || !CloseHandle(file))
          ++failures;
    });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(0, failures.load());
  DWORD error = 0;
  EXPECT_TRUE(FindNames(box["t*.txt"], &error).empty()) << "every file went with its handle";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, error);
}
