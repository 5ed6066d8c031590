// The platform packages started in the order they depend on one another.
#include "work-platform.hpp"

#include "log.hpp"
#include "registry.hpp"
#include "windows-files.hpp"
#include "windows-registry.hpp"

namespace Work {

void Start_Platform() {
    Windows::Files::Initialise();
    Windows::Registry::Initialise();
    Registry::Initialise();
    Log::Initialise();
}

}  // namespace Work
