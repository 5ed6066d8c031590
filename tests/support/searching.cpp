#include "searching.hpp"

#include "work.hpp"

namespace Searching {

std::string Test_Name() { return "Quarrix_Test_Search_" + std::to_string(GetCurrentProcessId()); }

// Under a name of its own: the program's settings and log are not this process's to touch.
void Application_Environment::SetUp() { Work::Start_Application(Test_Name()); }
void Application_Environment::TearDown() { Work::Shut_Down(); }

bool Search(const std::wstring& root) { return Search(root, Work::Lookup_Threads()); }

bool Search(const std::wstring& root, int lookup_threads) {
    struct Setting {
        const int saved = Work::Lookup_Threads();
        explicit Setting(int threads) {
            Work::Set_Lookup_Threads(threads);
            Work::Testing::Want_Search();
        }
        ~Setting() {
            Work::Set_Lookup_Threads(saved);
            Work::Stop_Search();
        }
    } setting(lookup_threads);
    return Work::Search(root);
}

std::vector<Work::File_Information> Records() {
    return Elements_Of(Work::Known_Files(), 1).Elements;
}

}  // namespace Searching
