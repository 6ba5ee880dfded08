// A fork-join pool for one encode at a time: Run hands numbered tasks to the
// pool's threads and to the caller, and returns when all are done.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace jpeg {

class TaskPool {
public:
    // `threads` counts the caller: a pool of 1 starts no thread and runs every
    // task on the caller.
    explicit TaskPool(unsigned threads);
    ~TaskPool();
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    unsigned Threads() const { return static_cast<unsigned>(workers_.size()) + 1; }

    // Runs task(0) to task(count − 1), each once, in any order and on any of
    // the threads. When a task throws, the tasks not yet started are skipped
    // and the first exception is rethrown here once every thread has stopped.
    // Not reentrant: one Run at a time.
    void Run(std::size_t count, const std::function<void(std::size_t)>& task);

private:
    void WorkerLoop();
    // Takes and runs tasks of the current job until none is left.
    void Drain();

    std::mutex mutex_;
    std::condition_variable jobReady_;
    std::condition_variable jobDone_;
    const std::function<void(std::size_t)>* task_ = nullptr;
    std::size_t count_ = 0;
    std::size_t next_ = 0;
    std::size_t running_ = 0;    // tasks started and not yet finished
    unsigned long long job_ = 0; // increases with every Run
    std::exception_ptr failure_;
    bool stopping_ = false;
    std::vector<std::jthread> workers_;
};

} // namespace jpeg
