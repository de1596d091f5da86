// A fixed set of worker threads that run jobs handed to them in order. The
// thread that hands the jobs over owns their data again once it has waited for
// them. While it waits it runs queued jobs itself, the awaited one first, so
// waiting never idles a core that has work.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace plotveil {

struct Job {
  enum class State : std::uint8_t { idle, queued, running, done };
  void (*work)(void* context) = nullptr;
  void* context = nullptr;
  State state = State::idle;  // guarded by the pool's lock
};

class WorkerPool {
 public:
  WorkerPool() = default;
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  ~WorkerPool() { stop(); }

  // Starts up to `count` threads; fewer when the system refuses one. Returns
  // how many run.
  int start(int count);
  int workers() const { return static_cast<int>(threads_.size()); }

  // Queues `job`, which must not be queued or running.
  void submit(Job& job);
  // Returns once `job` has run (at once when it was never submitted); runs
  // queued jobs meanwhile.
  void wait(Job& job);
  // Ends every thread after the job it is running; queued jobs stay unrun.
  void stop();

 private:
  void serve();

  std::mutex lock_;
  std::condition_variable work_ready_;
  std::condition_variable job_done_;
  std::deque<Job*> queue_;
  bool stopping_ = false;
  int idle_ = 0;                 // workers waiting for a job
  const Job* awaited_ = nullptr; // the job a waiting thread waits for
  std::vector<std::thread> threads_;
};

}  // namespace plotveil
