#include "scan/described_lines.h"

#include <utility>

namespace zafirel {
namespace {

// Waits until value differs from seen: spins first, then sleeps with asleep
// set, so the thread that changes value knows to wake it.
std::size_t AwaitChange(const std::atomic<std::size_t>& value, std::size_t seen,
                        std::atomic<bool>& asleep) {
  for (int spin = 0; spin < 4096; ++spin) {
    const std::size_t now = value.load(std::memory_order_acquire);
    if (now != seen) return now;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  asleep.store(true);  // sequentially consistent with the other thread's store and load
  while (value.load() == seen) value.wait(seen);
  asleep.store(false);
  return value.load(std::memory_order_acquire);
}

// Publishes a new value and wakes the other thread when it sleeps on it.
void Publish(std::atomic<std::size_t>& value, std::size_t now, const std::atomic<bool>& asleep) {
  value.store(now);
  if (asleep.load()) value.notify_one();
}

}  // namespace

DescribedLines::DescribedLines(StreamedFile& out) : out_(out), slots_(kMaxWaiting) {}

DescribedLines::~DescribedLines() {
  if (!worker_.joinable()) return;
  quit_.store(true);
  // A change of the value it sleeps on wakes the thread, which then sees
  // quit_ (or claims a turn without a description, which it passes over).
  Publish(asked_, asked_.load() + 1, workerAsleep_);
  worker_.join();
}

void DescribedLines::Write(const std::string& line) {
  out_.Append(line);
  out_.Append("\r\n");
}

void DescribedLines::Add(std::string line) {
  if (waiting_.empty()) {
    Write(line);
    return;
  }
  waiting_.push_back({std::move(line), false});
  Drain(false);
}

void DescribedLines::AddDescribed(std::string line, Ending ending) {
  if (!started_) {
    started_ = true;
    if (std::thread::hardware_concurrency() > 1) worker_ = std::thread([this] { Work(); });
  }
  if (!worker_.joinable()) {
    // One core: a second thread would only take turns with this one.
    line += ending();
    Add(std::move(line));
    return;
  }
  // Every slot in use: the oldest description is waited for first.
  const std::size_t asked = asked_.load(std::memory_order_relaxed);
  if (asked - taken_ == kMaxWaiting) Drain(true);
  slots_[asked % kMaxWaiting].ending = std::move(ending);
  waiting_.push_back({std::move(line), true});
  Publish(asked_, asked + 1, workerAsleep_);
  Drain(false);
}

bool DescribedLines::Claim(std::size_t& index) {
  std::size_t next = claimed_.load();
  while (next < asked_.load(std::memory_order_acquire))
    if (claimed_.compare_exchange_weak(next, next + 1)) {
      index = next;
      return true;
    }
  return false;
}

void DescribedLines::Describe(std::size_t index) {
  Slot& slot = slots_[index % kMaxWaiting];
  if (!slot.ending) return;  // the turn claimed when the thread is told to end
  slot.text = slot.ending();
  slot.ending = nullptr;
  slot.ready.store(true, std::memory_order_release);
  done_.fetch_add(1);
  if (walkAsleep_.load()) done_.notify_one();
}

void DescribedLines::Drain(bool wait) {
  while (!waiting_.empty()) {
    Waiting& front = waiting_.front();
    if (front.described) {
      Slot& slot = slots_[taken_ % kMaxWaiting];
      while (!slot.ready.load(std::memory_order_acquire)) {
        if (!wait) return;
        // Rather than wait, the walk's thread reads the next archive itself.
        std::size_t index;
        if (Claim(index)) {
          Describe(index);
          continue;
        }
        const std::size_t seen = done_.load();
        if (!slot.ready.load(std::memory_order_acquire)) AwaitChange(done_, seen, walkAsleep_);
      }
      front.line += slot.text;
      slot.ready.store(false, std::memory_order_relaxed);
      ++taken_;
      wait = false;
    }
    Write(front.line);
    waiting_.pop_front();
  }
}

void DescribedLines::Finish() {
  while (!waiting_.empty()) Drain(true);
}

void DescribedLines::Work() {
  while (!quit_.load()) {
    std::size_t index;
    if (Claim(index)) {
      Describe(index);
      continue;
    }
    const std::size_t seen = asked_.load();
    if (claimed_.load() >= seen) AwaitChange(asked_, seen, workerAsleep_);
  }
}

}  // namespace zafirel
