// The file-list lines of a run, some of which end in a description that
// takes reading an archive. The archives are read on a second thread while
// the walk goes on, and the lines reach the file in the order they were
// given: a line waiting for its description holds back those after it. At
// most kMaxWaiting descriptions are asked for and not yet written, so memory
// stays bounded whatever the disc holds; beyond that, and at the end, the
// walk's thread reads archives too instead of waiting.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "util/file_writer.h"

namespace zafirel {

class DescribedLines {
 public:
  // What a line ends with, worked out off the walk's thread; it must not
  // throw and must not change files (those changes stay on the walk's
  // thread, in their order).
  using Ending = std::function<std::string()>;
  static constexpr std::size_t kMaxWaiting = 128;

  // Each line goes to out followed by CR LF.
  explicit DescribedLines(StreamedFile& out);
  DescribedLines(const DescribedLines&) = delete;
  DescribedLines& operator=(const DescribedLines&) = delete;
  // Ends the thread; lines still waiting are dropped (a stopped run).
  ~DescribedLines();

  void Add(std::string line);
  // A line that gets ending's text appended.
  void AddDescribed(std::string line, Ending ending);
  // Waits for every description and writes every line still waiting.
  void Finish();

 private:
  struct Waiting {
    std::string line;
    bool described = false;
  };
  // A description between the two threads: the walk's thread fills ending
  // and publishes it through asked_; the thread that claims it (through
  // claimed_) sets text, clears ending and sets ready.
  struct Slot {
    Ending ending;
    std::string text;
    std::atomic<bool> ready{false};
  };
  // The next description asked for and not yet claimed by either thread.
  bool Claim(std::size_t& index);
  void Describe(std::size_t index);
  void Write(const std::string& line);
  // Writes the waiting lines that can go, in order; with wait, waits for the
  // first description that holds them back.
  void Drain(bool wait);
  void Work();

  StreamedFile& out_;
  std::deque<Waiting> waiting_;  // the walk's thread only
  std::size_t taken_ = 0;        // descriptions written into their lines
  bool started_ = false;         // whether the thread was asked for
  std::vector<Slot> slots_;      // kMaxWaiting, used in turn
  std::atomic<std::size_t> asked_{0}, claimed_{0}, done_{0};
  // Set by a thread before it sleeps, so the other wakes it; each thread
  // spins a little first, as the other is usually about to answer.
  std::atomic<bool> workerAsleep_{false}, walkAsleep_{false}, quit_{false};
  std::thread worker_;  // started with the first description; none on one core
};

}  // namespace zafirel
