#include "port/port_thread.h"

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

#include "port/thread_without_signals.h"

namespace m4410 {

namespace {

// Joined at exit once its queue is empty, so the process never ends under a job sending an
// image.
class PortThread {
 public:
  PortThread() : thread_(StartThreadWithoutSignals([this] { Serve(); })) {}

  ~PortThread() {
    {
      std::lock_guard lock(mutex_);
      ending_ = true;
    }
    queued_.notify_one();
    thread_.join();
  }

  void Post(std::function<void()> job) {
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    queued_.notify_one();
  }

 private:
  void Serve() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        queued_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<std::function<void()>> jobs_;
  bool ending_ = false;
  std::thread thread_;
};

PortThread& ThePortThread() {
  static PortThread thread;
  return thread;
}

}  // namespace

void StartPortThread() { ThePortThread(); }

void PostToPortThread(std::function<void()> job) { ThePortThread().Post(std::move(job)); }

void RunOnPortThread(const std::function<void()>& job) {
  std::packaged_task<void()> task(job);
  std::future<void> ran = task.get_future();
  ThePortThread().Post([&task] { task(); });
  ran.get();  // a job's exception comes back to its caller
}

}  // namespace m4410
