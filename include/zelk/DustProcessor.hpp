#pragma once

#include "zelk/CleanerDriver.hpp"
#include "zelk/OperatingMode.hpp"

namespace zelk {

// Decides the mode after a dust event. It adds no condition of its own: the current mode
// alone decides (only normal cleaning reacts, by switching to boost).
// Owned by the Controller, which serialises its calls.
class DustProcessor {
public:
    OperatingMode& decideIsDusted(CleanerDriver& cleaner, OperatingMode& currentMode);
};

}  // namespace zelk
