// Threads: the last error belongs to each thread, and handles opened and
// closed on several threads at once stay apart.
#include "PlatformTestSupport.h"

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

using namespace PlatformTest;

TEST(Threads, TheLastErrorBelongsToEachThread) {
  // The two threads meet through atomics only, so that no other call
  // touches either last error between setting and reading it.
  std::atomic<int> step{0};
  DWORD seenByOther = 0;
  std::thread other([&] {
    SetLastError(ERROR_INVALID_PARAMETER);
    step = 1;
    while (step != 2) {
    }
    seenByOther = GetLastError();
  });
  while (step != 1) {
  }
  SetLastError(ERROR_ACCESS_DENIED);
  step = 2;
  DWORD seenHere = GetLastError();
  other.join();
  EXPECT_EQ(ERROR_ACCESS_DENIED, seenHere);
  EXPECT_EQ(ERROR_INVALID_PARAMETER, seenByOther);
}

TEST(Threads, HandlesOfManyThreadsStayApart) {
  Sandbox box;
  int const THREADS = 4, FILES = 25;
  std::atomic<int> failures{0}, opened{0};
  std::mutex mutex;
  std::set<HANDLE> handles;
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t)
    threads.emplace_back([&, t] {
      std::vector<HANDLE> mine;
      for (int f = 0; f < FILES; ++f) {
        std::string path = box["t" + std::to_string(t) + "-" + std::to_string(f) + ".txt"];
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        DWORD written = 0;
        if (file == INVALID_HANDLE_VALUE ||
            !WriteFile(file, path.data(), static_cast<DWORD>(path.size()), &written, nullptr)) {
          ++failures;
          continue;
        }
        mine.push_back(file);
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        handles.insert(mine.begin(), mine.end());
      }
      // Closed values may be given again: compare only handles open together.
      ++opened;
      while (opened != THREADS) {
      }
      for (HANDLE file : mine) {
        char buffer[MAX_PATH];
        DWORD read = 0;
        if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0 ||
            !ReadFile(file, buffer, sizeof(buffer), &read, nullptr) || read == 0 || !CloseHandle(file))
          ++failures;
      }
    });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ(size_t(THREADS * FILES) - size_t(failures.load()), handles.size())
      << "every open handle is a different value";
  DWORD error = 0;
  EXPECT_TRUE(FindNames(box["t*.txt"], &error).empty()) << "every file went with its handle";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, error);
}
