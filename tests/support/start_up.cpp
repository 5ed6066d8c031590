#include "start_up.hpp"

#include "windows-files.hpp"
#include "work.hpp"

namespace Start_Up {

void Platform() { Windows::Files::Initialise(); }

void Application() { Work::Initialise(); }

// A searcher that is still walking winds down and ends by itself; then the quit request
// finds it ended.
void Shut_Down() {
    Work::Has_Been_Terminated = true;
    Work::Search_In_Progress = false;
    try {
        Work::Searcher::Quit();
    } catch (const Tasking_Error&) {
    }
    Work::Join_Searcher();
}

}  // namespace Start_Up
