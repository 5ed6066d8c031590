#include "semaphore.hpp"

namespace Semaphore {

void Binary::Wait() {
    std::unique_lock lock(mutex_);
    signaled_.wait(lock, [this] { return is_signaled_; });
    is_signaled_ = false;
}

void Binary::Signal() {
    {
        std::lock_guard lock(mutex_);
        is_signaled_ = true;
    }
    signaled_.notify_one();
}

}  // namespace Semaphore
