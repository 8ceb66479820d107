// Worker threads that run exact-test chains. A chain depends on nothing but
// its table, its seeds and its iteration settings, so the chains of many
// loci can run at once; the caller consumes their results in its own order.
//
// A pool of N threads starts N - 1 workers: the thread that waits for a
// result runs queued chains itself meanwhile. Tasks are taken oldest first.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/exact_test_state.h"

namespace korvel {

struct CHAIN_TASK {
  // Loaded by READINFILE before the task is handed over; holds HM and HECA
  // once it is done. Not to be touched between SUBMIT and a DONE answer.
  EXACT_TEST_STATE STATE;
  bool done = false;  // guarded by the pool's mutex
};

class CHAIN_POOL {
 public:
  explicit CHAIN_POOL(int threads);
  // Calls off what is still queued or running and joins the workers.
  ~CHAIN_POOL();
  CHAIN_POOL(const CHAIN_POOL&) = delete;
  CHAIN_POOL& operator=(const CHAIN_POOL&) = delete;

  void SUBMIT(CHAIN_TASK& task);
  bool DONE(CHAIN_TASK& task);
  // Returns when the task is done; runs queued chains on this thread while
  // it waits.
  void WAIT_FOR(CHAIN_TASK& task);
  // Calls off every chain and joins the workers; afterwards nothing runs.
  void STOP();

 private:
  void WORK();
  void RUN(CHAIN_TASK& task);

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable task_done_;
  std::deque<CHAIN_TASK*> queue_;
  std::atomic<bool> cancelled_{false};
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace korvel
