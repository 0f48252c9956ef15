#include "zelk/DustProcessor.hpp"

namespace zelk {

OperatingMode& DustProcessor::decideIsDusted(CleanerDriver& cleaner, OperatingMode& currentMode) {
    return currentMode.dustDetected(cleaner);
}

}  // namespace zelk
