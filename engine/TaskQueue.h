// Work handed to a front-end's thread: the flash workers post, the front-end's loop takes the
// tasks in the order posted.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace engine {

class TaskQueue {
  public:
    void Post(std::function<void()> task) {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        ready_.notify_one();
    }

    // The next task, waiting for one until `until`; an empty function when none came in time.
    std::function<void()> Next(std::chrono::steady_clock::time_point until) {
        std::unique_lock lock(mutex_);
        if (!ready_.wait_until(lock, until, [&] { return !tasks_.empty(); })) return {};
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        return task;
    }

    bool Empty() {
        std::lock_guard lock(mutex_);
        return tasks_.empty();
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace engine
