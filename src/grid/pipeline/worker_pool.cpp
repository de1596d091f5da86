#include "grid/pipeline/worker_pool.hpp"

#include <algorithm>
#include <system_error>

namespace plotveil {

int WorkerPool::start(int count) {
  stopping_ = false;
  for (int i = 0; i < count; ++i) {
    try {
      threads_.emplace_back([this] { serve(); });
    } catch (const std::system_error&) {
      break;  // the system has no more threads to give: run with those there are
    }
  }
  return workers();
}

// Wake-ups cost system calls, so only a thread that sleeps is woken.
void WorkerPool::submit(Job& job) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    job.state = Job::State::queued;
    queue_.push_back(&job);
    wake = idle_ > 0;
  }
  if (wake) work_ready_.notify_one();
}

void WorkerPool::wait(Job& job) {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    if (job.state != Job::State::queued && job.state != Job::State::running) return;
    // The awaited job if no worker has it yet, else the oldest queued one:
    // a waiting thread works rather than sleeps.
    Job* next = nullptr;
    if (job.state == Job::State::queued) {
      queue_.erase(std::find(queue_.begin(), queue_.end(), &job));
      next = &job;
    } else if (!queue_.empty()) {
      next = queue_.front();
      queue_.pop_front();
    }
    if (next == nullptr) {
      awaited_ = &job;
      job_done_.wait(hold, [&job] { return job.state != Job::State::running; });
      awaited_ = nullptr;
      return;
    }
    next->state = Job::State::running;
    hold.unlock();
    next->work(next->context);
    hold.lock();
    next->state = Job::State::done;
  }
}

void WorkerPool::stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

void WorkerPool::serve() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    ++idle_;
    work_ready_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
    --idle_;
    if (stopping_) return;
    Job* job = queue_.front();
    queue_.pop_front();
    job->state = Job::State::running;
    hold.unlock();
    job->work(job->context);
    hold.lock();
    job->state = Job::State::done;
    if (awaited_ == job) job_done_.notify_all();
  }
}

}  // namespace plotveil
