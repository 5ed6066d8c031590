#include "bench_support.hpp"

#include <psapi.h>

#include <algorithm>
#include <cstdio>

#include "gui.hpp"
#include "log.hpp"
#include "registry.hpp"
#include "windows-files.hpp"
#include "windows-registry.hpp"
#include "work.hpp"

namespace Bench {

void Open_Window() {
    Work::Start_Gui();
    Gui::Set_Message_Reporter([](const std::string& message, bool) {
        std::printf("NOTE message box: %s\n", message.c_str());
        std::fflush(stdout);
    });
    Work::Start_Application();
    Work::Create_User_Interface();
}

void Show_Everything() {
    for (const Gui::Check_Box* box :
         {&Work::Controls().Visit_Folders, &Work::Controls().Display_Folders, &Work::Controls().Display_Files,
          &Work::Controls().Display_Full_Size, &Work::Controls().Display_Streams, &Work::Controls().Display_Hidden,
          &Work::Controls().Display_System})
        Gui::Set(*box);
    Gui::Clear(Work::Controls().Recently_Accessed);
    Gui::Clear(Work::Controls().Untouched);
    Gui::Set(Work::Controls().Minimum_Size_Box, L"0");
}

void Report(const std::string& figure, const std::string& quarrix, const std::string& baseline,
            double ratio, const std::string& target, bool holds) {
    std::printf("RESULT|%s|%s|%s|%s|%s|%s\n", figure.c_str(), quarrix.c_str(), baseline.c_str(),
                Fixed(ratio, 2).c_str(), target.c_str(), holds ? "yes" : "no");
    std::fflush(stdout);
}

void Note(const std::string& text) {
    std::printf("NOTE %s\n", text.c_str());
    std::fflush(stdout);
}

double Samples::Median() const {
    if (values_.empty()) return 0;
    std::vector<double> sorted = values_;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    return sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

double Samples::Fastest() const {
    return values_.empty() ? 0 : *std::min_element(values_.begin(), values_.end());
}

double Samples::Slowest() const {
    return values_.empty() ? 0 : *std::max_element(values_.begin(), values_.end());
}

std::string Samples::Image(int decimals) const {
    return Fixed(Median(), decimals) + " s (" + Fixed(Fastest(), decimals) + "-" + Fixed(Slowest(), decimals) + ")";
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

namespace {
PROCESS_MEMORY_COUNTERS_EX Memory_Counters() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(),
                         reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters;
}
}  // namespace

std::uint64_t Private_Bytes() { return Memory_Counters().PrivateUsage; }
std::uint64_t Working_Set_Bytes() { return Memory_Counters().WorkingSetSize; }

std::uint64_t Committed_Private_Bytes() {
    std::uint64_t total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (auto* address = static_cast<unsigned char*>(nullptr);
         VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<unsigned char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    return total;
}

std::wstring Windows_Path_Of(const std::string& linux_path) {
    std::wstring path = L"Z:";
    for (char character : linux_path) path += character == '/' ? L'\\' : wchar_t(character);
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

Prober::~Prober() {
    if (running_) End();
}

void Prober::Begin() {
    statistics_ = {};
    running_ = true;
    thread_ = std::thread([this] { Run(); });
}

Probe_Statistics Prober::End() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
    return statistics_;
}

void Prober::Run() {
    using namespace std::chrono;
    auto next = steady_clock::now();
    while (running_) {
        const auto sent = steady_clock::now();
        DWORD_PTR result = 0;
        const LRESULT answered =
            SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 100, &result);
        const double elapsed = duration<double, std::milli>(steady_clock::now() - sent).count();
        ++statistics_.Sent;
        if (answered != 0 && elapsed <= 100.0) ++statistics_.Answered_In_Time;
        if (elapsed > statistics_.Slowest_Milliseconds)
            statistics_.Slowest_Milliseconds = elapsed;
        // A fixed schedule: a slow answer does not space the later probes out.
        next += milliseconds(50);
        if (next > steady_clock::now()) std::this_thread::sleep_until(next);
        else next = steady_clock::now();
    }
}

}  // namespace Bench
