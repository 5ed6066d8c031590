#pragma once
// What every benchmark shares: the packages' start-up, timing, process memory, the result
// lines the bench script gathers, and the probe that checks the window still answers.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace Bench {

class Stopwatch {
public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// The times of a figure's rounds. A figure is their median, not the fastest, which a quiet
// moment would flatter; the spread says how far one run of it can be trusted.
class Samples {
public:
    void Add(double seconds) { values_.push_back(seconds); }
    double Median() const;
    double Fastest() const;
    double Slowest() const;
    // "0.123 s (0.110-0.140)": the median, then the fastest and slowest round.
    std::string Image(int decimals) const;

private:
    std::vector<double> values_;
};

// The action run that many times, each returning the seconds of what it timed.
template <typename Action>
Samples Rounds_Of(int rounds, Action action) {
    Samples samples;
    for (int round = 0; round < rounds; ++round) samples.Add(action());
    return samples;
}

// One row of the table: "RESULT|figure|quarrix|baseline|ratio|target|holds".
void Report(const std::string& figure, const std::string& quarrix, const std::string& baseline,
            double ratio, const std::string& target, bool holds);
void Note(const std::string& text);  // an informative line, not a figure

// The window as the program builds it, once the platform has started; a message box prints
// as a note instead of waiting for a click.
void Open_Window();
// Every kind of object shown, in every folder below, with no age or size limit.
void Show_Everything();
std::string Fixed(double value, int decimals);

std::uint64_t Private_Bytes();
std::uint64_t Working_Set_Bytes();
// Committed private pages, counted region by region: the same figure where the counter
// above is not kept (Wine leaves PrivateUsage unchanged as the heap grows).
std::uint64_t Committed_Private_Bytes();

// "Z:\tmp\x" for "/tmp/x", as Wine maps the Linux root.
std::wstring Windows_Path_Of(const std::string& linux_path);

struct Probe_Statistics {
    int Sent = 0;
    int Answered_In_Time = 0;
    double Slowest_Milliseconds = 0;
    void Add(const Probe_Statistics& other) {
        Sent += other.Sent;
        Answered_In_Time += other.Answered_In_Time;
        if (other.Slowest_Milliseconds > Slowest_Milliseconds)
            Slowest_Milliseconds = other.Slowest_Milliseconds;
    }
    double Share_In_Time() const { return Sent == 0 ? 1.0 : double(Answered_In_Time) / Sent; }
};

// Sends WM_NULL to the window every 50 ms from a thread of its own, each with a 100 ms
// timeout, and counts the probes that came back within 100 ms.
class Prober {
public:
    explicit Prober(HWND window) : window_(window) {}
    ~Prober();
    void Begin();
    Probe_Statistics End();

private:
    void Run();
    HWND window_;
    std::atomic<bool> running_ = false;
    std::thread thread_;
    Probe_Statistics statistics_;
};

}  // namespace Bench
