// Threads: handles opened and closed on several threads at once stay apart,
// and the last error belongs to each thread.
#include "PlatformTestSupport.h"

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

using namespace PlatformTest;

TEST(Threads, HandlesAndLastErrorsOfManyThreadsStayApart) {
  Sandbox box;
  int const THREADS = 4, FILES = 25;
  std::atomic<int> failures{0}, lostErrors{0}, opened{0};
  std::mutex mutex;
  std::set<HANDLE> handles;
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t)
    threads.emplace_back([&, t] {
      std::vector<HANDLE> mine;
      DWORD count = 0;
      for (int f = 0; f < FILES; ++f) {
        std::string path = box["t" + std::to_string(t) + "-" + std::to_string(f) + ".txt"];
        HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
        if (file == INVALID_HANDLE_VALUE || !WriteFile(file, path.data(), DWORD(path.size()), &count, nullptr))
          ++failures;
        else
          mine.push_back(file);
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        handles.insert(mine.begin(), mine.end());
      }
      // Closed values may be given again: compare only handles open together.
      // Until all meet, each thread sets its own last error and then touches
      // only atomics: the threads arriving later set theirs in the meantime.
      SetLastError(DWORD(10000 + t));
      for (++opened; opened != THREADS;) {
      }
      lostErrors += GetLastError() != DWORD(10000 + t);
      char buffer[MAX_PATH];
      for (HANDLE file : mine)
        if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0 || !ReadFile(file, buffer, MAX_PATH, &count, nullptr) ||
            count == 0 || !CloseHandle(file))
          ++failures;
    });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ(0, lostErrors.load()) << "the last error belongs to each thread";
  EXPECT_EQ(size_t(THREADS * FILES), handles.size()) << "every open handle is a different value";
  DWORD error = 0;
  EXPECT_TRUE(FindNames(box["t*.txt"], &error).empty()) << "every file went with its handle";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, error);
}
