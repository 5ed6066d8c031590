#pragma once
// A binary semaphore: one thread waits until another signals; signals do not count.

#include <condition_variable>
#include <mutex>

namespace Semaphore {

class Binary {
public:
    explicit Binary(bool is_signaled = false) : is_signaled_(is_signaled) {}
    Binary(const Binary&) = delete;
    Binary& operator=(const Binary&) = delete;

    void Wait();
    void Signal();

private:
    std::mutex mutex_;
    std::condition_variable signaled_;
    bool is_signaled_;
};

}  // namespace Semaphore
