#include "tests/chain_pool.h"

namespace korvel {

CHAIN_POOL::CHAIN_POOL(int threads) {
  for (int k = 1; k < threads; ++k) workers_.emplace_back([this] { WORK(); });
}

CHAIN_POOL::~CHAIN_POOL() { STOP(); }

void CHAIN_POOL::STOP() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    cancelled_.store(true, std::memory_order_relaxed);
    queue_.clear();
  }
  work_ready_.notify_all();
  for (std::thread& worker : workers_)
    if (worker.joinable()) worker.join();
  workers_.clear();
}

void CHAIN_POOL::SUBMIT(CHAIN_TASK& task) {
  task.STATE.CANCELLED = &cancelled_;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    task.done = false;
    queue_.push_back(&task);
  }
  work_ready_.notify_one();
}

bool CHAIN_POOL::DONE(CHAIN_TASK& task) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return task.done;
}

// A chain that is called off leaves its task not done; only STOP calls
// chains off, and nobody waits after it.
void CHAIN_POOL::RUN(CHAIN_TASK& task) {
  bool finished = false;
  try {
    task.STATE.MAKE_RANDOM();
    task.STATE.CHAINE();
    finished = true;
  } catch (const CHAIN_CANCELLED&) {
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    task.done = finished;
  }
  task_done_.notify_all();
}

void CHAIN_POOL::WORK() {
  for (;;) {
    CHAIN_TASK* task = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      task = queue_.front();
      queue_.pop_front();
    }
    RUN(*task);
  }
}

void CHAIN_POOL::WAIT_FOR(CHAIN_TASK& task) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!task.done && !stopping_) {
    if (!queue_.empty()) {
      CHAIN_TASK* next = queue_.front();
      queue_.pop_front();
      lock.unlock();
      RUN(*next);
      lock.lock();
    } else {
      task_done_.wait(lock);
    }
  }
}

}  // namespace korvel
