// The C++ sample program: counts the words of its arguments, one thread per
// argument. Built with the posix-thread g++, it needs libstdc++,
// libgcc_s_seh and libwinpthread from the cross compiler's folders, and its
// own library from a folder of its own.
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "wordcount.h"

int main(int argc, char** argv) {
  std::vector<std::map<std::string, int>> counts(argc > 1 ? argc - 1 : 0);
  std::vector<std::thread> threads;
  for (int i = 1; i < argc; ++i) {
    threads.emplace_back([&counts, argv, i] { counts[i - 1] = CountWords(argv[i]); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& count : counts) {
    for (const auto& [word, times] : count) std::cout << word << ' ' << times << '\n';
  }
  return 0;
}
