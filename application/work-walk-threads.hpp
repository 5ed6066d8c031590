#pragma once
// The walk's helper threads: the crew that looks entries up together, and the watch that
// reports the walk's progress. Inside work-walk.cpp only.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "work-walk.hpp"

namespace Work::Walking {

// Threads that run one job over a range of indices together, the calling thread with them.
// Owner and stream look-ups mostly wait on the platform, so several at once pay even on
// few processors.
class Lookup_Crew {
public:
    using Job = std::function<void(std::size_t index)>;

    explicit Lookup_Crew(int threads) {
        for (int count = 1; count < threads; ++count) helpers_.emplace_back([this] { Serve(); });
    }

    ~Lookup_Crew() {
        {
            std::lock_guard lock(mutex_);
            is_ending_ = true;
        }
        work_is_offered_.notify_all();
        for (std::thread& helper : helpers_) helper.join();
    }

    // Returns when the job has run for every index below the count; a job's failure is
    // raised here, once all have ended.
    void Run(std::size_t count, const Job& job) {
        {
            std::lock_guard lock(mutex_);
            job_ = &job;
            count_ = count;
            next_ = 0;
            unfinished_ = count;
            failure_ = nullptr;
            ++generation_;
        }
        work_is_offered_.notify_all();
        Take_Part();
        std::unique_lock lock(mutex_);
        all_are_done_.wait(lock, [this] { return unfinished_ == 0; });
        job_ = nullptr;
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    void Serve() {
        std::uint64_t served = 0;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                work_is_offered_.wait(lock, [&] { return is_ending_ || generation_ != served; });
                if (is_ending_) return;
                served = generation_;
            }
            Take_Part();
        }
    }

    void Take_Part() {
        for (;;) {
            std::size_t index;
            {
                std::lock_guard lock(mutex_);
                if (job_ == nullptr || next_ >= count_) return;
                index = next_++;
            }
            std::exception_ptr failure;
            try {
                (*job_)(index);
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard lock(mutex_);
            if (failure && !failure_) failure_ = failure;
            if (--unfinished_ == 0) all_are_done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable work_is_offered_;
    std::condition_variable all_are_done_;
    const Job* job_ = nullptr;
    std::size_t count_ = 0;
    std::size_t next_ = 0;
    std::size_t unfinished_ = 0;
    std::uint64_t generation_ = 0;
    std::exception_ptr failure_;
    bool is_ending_ = false;
    std::vector<std::thread> helpers_;
};

// Tells the walk's progress from a thread of its own, at its interval: the walk only counts,
// so it pays next to nothing for the report, and a folder that takes long to list still
// has the report come on time.
class Progress_Watch {
public:
    explicit Progress_Watch(const Walk_Request& request)
        : report_(request.Report_Progress), interval_(request.Progress_Interval), root_(request.Root) {
        if (report_) reporter_ = std::thread([this] { Report_Until_Ended(); });
    }
    Progress_Watch(const Progress_Watch&) = delete;
    Progress_Watch& operator=(const Progress_Watch&) = delete;
    ~Progress_Watch() { Stop_Reporter(); }

    // Only the walking thread counts: a plain add, seen by the reporter sooner or later.
    void Recorded(File_Size file_size) {
        objects_.store(objects_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        size_.store(size_.load(std::memory_order_relaxed) + file_size.Value(), std::memory_order_relaxed);
    }

    void Entered(const Wide_Text::Shared& folder_name) {
        if (!report_) return;
        std::lock_guard lock(mutex_);
        folder_ = folder_name;
    }

    // The last report has been made once this returns; a report's failure is raised here.
    void End() {
        Stop_Reporter();
        if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    }

private:
    void Stop_Reporter() {
        if (!reporter_.joinable()) return;
        {
            std::lock_guard lock(mutex_);
            has_ended_ = true;
        }
        ended_.notify_all();
        reporter_.join();
    }

    void Report_Until_Ended() {
        try {
            std::unique_lock lock(mutex_);
            while (!ended_.wait_for(lock, interval_, [this] { return has_ended_; })) {
                Walk_Progress progress{.Objects = objects_.load(std::memory_order_relaxed),
                                       .Size = File_Size::From(size_.load(std::memory_order_relaxed)),
                                       .Folder = root_ + folder_};
                lock.unlock();
                report_(progress);
                lock.lock();
            }
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    const std::function<void(const Walk_Progress&)>& report_;
    const std::chrono::milliseconds interval_;
    const std::wstring& root_;
    std::atomic<std::uint64_t> objects_{0};
    std::atomic<std::uint64_t> size_{0};
    std::mutex mutex_;
    std::condition_variable ended_;
    Wide_Text::Shared folder_;  // relative to the root; under the mutex
    bool has_ended_ = false;    // under the mutex
    std::exception_ptr failure_;
    std::thread reporter_;
};

}  // namespace Work::Walking
