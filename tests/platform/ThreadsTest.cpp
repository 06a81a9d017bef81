// Threads: handles opened and closed on several threads at once stay apart,
// and the last error belongs to each thread.
#include "PlatformTestSupport.h"

#include <atomic>
#include <thread>

using namespace PlatformTest;

TEST(Threads, HandlesAndLastErrorsOfManyThreadsStayApart) {
  Sandbox box;
  int const THREADS = 4, FILES = 25;
  std::atomic<int> failures{0}, lostErrors{0}, opened{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t)
    threads.emplace_back([&, t] {
      // Each file holds its own name: a handle given to two files reads the wrong one.
      std::vector<std::pair<HANDLE, std::string>> mine;
      DWORD count = 0;
      for (int f = 0; f < FILES; ++f) {
        std::string path = box["t" + std::to_string(t) + "-" + std::to_string(f) + ".txt"];
        HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
        if (file == INVALID_HANDLE_VALUE || !WriteFile(file, path.data(), DWORD(path.size()), &count, nullptr))
          ++failures;
        mine.emplace_back(file, path);
      }
      // Until all have opened theirs, each thread touches only atomics after
      // setting its own last error, while the threads arriving later set theirs.
      SetLastError(DWORD(10000 + t));
      for (++opened; opened != THREADS;) {
      }
      lostErrors += GetLastError() != DWORD(10000 + t);
      char buffer[MAX_PATH];
      for (auto const& [file, path] : mine)
        if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0 || !ReadFile(file, buffer, MAX_PATH, &count, nullptr) ||
            std::string(buffer, count) != path || !CloseHandle(file))
          ++failures;
    });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(0, failures.load()) << "every handle is its own file's";
  EXPECT_EQ(0, lostErrors.load()) << "the last error belongs to each thread";
  DWORD error = 0;
  EXPECT_TRUE(FindNames(box["t*.txt"], &error).empty()) << "every file went with its handle";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, error);
}
