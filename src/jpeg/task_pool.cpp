#include "jpeg/task_pool.h"

namespace jpeg {

TaskPool::TaskPool(unsigned threads) {
    for (unsigned index = 1; index < threads; ++index) {
        workers_.emplace_back([this] { WorkerLoop(); });
    }
}

TaskPool::~TaskPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    jobReady_.notify_all();
    // The jthreads join as they are destroyed.
}

void TaskPool::Run(std::size_t count, const std::function<void(std::size_t)>& task) {
    {
        const std::lock_guard lock(mutex_);
        task_ = &task;
        count_ = count;
        next_ = 0;
        failure_ = nullptr;
        ++job_;
    }
    jobReady_.notify_all();
    Drain();
    std::unique_lock lock(mutex_);
    jobDone_.wait(lock, [this] { return next_ >= count_ && running_ == 0; });
    task_ = nullptr;
    if (failure_) {
        std::rethrow_exception(std::exchange(failure_, nullptr));
    }
}

void TaskPool::Drain() {
    std::unique_lock lock(mutex_);
    while (next_ < count_) {
        const std::size_t index = next_++;
        ++running_;
        const auto* task = task_;
        lock.unlock();
        std::exception_ptr failure;
        try {
            (*task)(index);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        --running_;
        if (failure) {
            if (!failure_) {
                failure_ = failure;
            }
            next_ = count_; // the tasks not started are skipped
        }
    }
    if (running_ == 0) {
        jobDone_.notify_all();
    }
}

void TaskPool::WorkerLoop() {
    unsigned long long seen = 0;
    std::unique_lock lock(mutex_);
    while (true) {
        jobReady_.wait(lock, [&] { return stopping_ || job_ != seen; });
        if (stopping_) {
            return;
        }
        seen = job_;
        lock.unlock();
        Drain();
        lock.lock();
    }
}

} // namespace jpeg
