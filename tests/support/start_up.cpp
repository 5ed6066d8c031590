#include "start_up.hpp"

namespace Start_Up {

void Platform() {}

}  // namespace Start_Up
