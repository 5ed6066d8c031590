// The framework's threads other than the display thread and their hand-offs: meetings of two
// threads, the close request, the one-slot action queue, the action-handler and termination
// threads, and the operations that hand routines to the queue.
#include "gui-internal.hpp"

namespace Gui::Internal {

// ---- Hand-offs ----

void Rendezvous::Call() {
    std::unique_lock lock(mutex_);
    if (is_abandoned_) throw Tasking_Error(reason_);
    is_called_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return is_done_ || is_abandoned_; });
    if (!is_done_) throw Tasking_Error(reason_);
}

void Rendezvous::Accept(const std::function<void()>& the_body) {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return is_called_; });
    }
    try {
        the_body();
    } catch (const std::exception& error) {
        Abandon(Information_Of(error));
        throw;
    } catch (...) {
        Abandon("UNKNOWN FAILURE");
        throw;
    }
    std::lock_guard lock(mutex_);
    is_done_ = true;
    changed_.notify_all();
}

void Rendezvous::Abandon(const std::string& reason) {
    std::lock_guard lock(mutex_);
    is_abandoned_ = true;
    reason_ = reason;
    changed_.notify_all();
}

void Close_Request::Offer(Reason the_reason) {
    std::lock_guard lock(mutex_);
    if (reason_ != None) return;
    reason_ = the_reason;
    changed_.notify_all();
}

Close_Request::Reason Close_Request::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return reason_ != None; });
    return reason_;
}

// ---- The one-slot action queue ----

void Action_Queue::Put(Action_Routine the_routine) { Store({the_routine, nullptr, nullptr}); }

void Action_Queue::Put(Click_Routine the_routine, void* the_information) {
    Store({nullptr, the_routine, the_information});
}

Request Action_Queue::Get() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return is_pending_; });
    is_pending_ = false;
    return next_;
}

void Action_Queue::Finish() {
    std::lock_guard lock(mutex_);
    next_ = {};
    is_pending_ = true;
    is_enabled_ = false;
    is_finishing_ = true;
    changed_.notify_all();
}

void Action_Queue::Enable() {
    std::lock_guard lock(mutex_);
    if (!is_finishing_) is_enabled_ = true;
}

void Action_Queue::Store(const Request& the_request) {
    std::lock_guard lock(mutex_);
    if (!is_enabled_) return;
    next_ = the_request;
    is_pending_ = true;
    is_enabled_ = false;
    changed_.notify_all();
}

// ---- Failures ----

void Report_Current_Failure() {
    try {
        throw;
    } catch (const std::exception& error) {
        Message_Box(Information_Of(error), true);
    } catch (...) {
        Message_Box("UNKNOWN FAILURE", true);
    }
}

// ---- Action handler and termination threads ----

void Run_Action_Handler() {
    Framework& state = State();
    for (;;) {
        Request request = state.Action.Get();
        if (request.Click) {
            Run_Reporting([&] { request.Click(request.Information); });
        } else if (request.Action) {
            Run_Reporting(request.Action);
        } else {
            state.Handler_Stopped.Accept([] {});
            return;
        }
        // A failed routine is reported and the handler goes on serving, so that a later
        // close still finds it to take the finish request.
        state.Action.Enable();
    }
}

void Run_Termination_Handler() {
    Framework& state = State();
    Close_Request::Reason reason = state.Close_Requested.Wait();
    Run_Reporting([&] {
        // The display thread goes on serving the controls still being added meanwhile.
        if (reason == Close_Request::Close) state.Start_Up_Is_Complete.Wait();
        state.Action.Finish();
        if (state.Was_Created) state.Handler_Stopped.Call();
        if (reason == Close_Request::Close && state.The_Termination_Routine) {
            state.The_Termination_Routine();
        }
    });
    if (reason == Close_Request::Close) Send_Message(state.Private_Window, Destroy_Message, 0, 0);
}

}  // namespace Gui::Internal

namespace Gui {

using namespace Internal;

void Execute(Action_Routine the_routine) { State().Action.Put(the_routine); }
void Execute(Click_Routine the_routine, void* the_information) { State().Action.Put(the_routine, the_information); }
void Set_Callback_Routine(Action_Routine the_routine) { State().The_Callback_Routine = the_routine; }

void Request_Callback() {
    if (HWND window = Main_Window()) PostMessageA(window, Callback_Message, 0, 0);
}

void Start_Up_Complete() {
    if (Is_Initialised()) State().Start_Up_Is_Complete.Signal();
}

}  // namespace Gui
