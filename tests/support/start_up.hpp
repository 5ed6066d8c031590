#pragma once
// The packages' start-up, in the order the program runs it, for tests that need them.

namespace Start_Up {

void Platform();     // foundation and platform services
void Gui();          // the GUI framework, after the platform
void Application();  // the application package; its searcher thread runs until Shut_Down
void Shut_Down();    // ends what Application started

}  // namespace Start_Up
