#pragma once
// The packages' start-up, in the order the program runs it, for tests that need them.

namespace Start_Up {

void Platform();  // foundation and platform services
void Gui();       // the GUI framework, after the platform

}  // namespace Start_Up
