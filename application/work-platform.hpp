#pragma once
// The foundation and platform packages' start-up, in dependency order: all a walk needs.

namespace Work {

void Start_Platform();

}  // namespace Work
