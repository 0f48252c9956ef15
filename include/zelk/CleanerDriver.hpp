#pragma once

#include <string>

namespace zelk {

// The suction unit: its setting is one of the texts "off", "normal" and "boost".
//
// Owned by the Controller; commanded by the operating modes through a reference lent for
// one call. Plain data with no synchronisation.
class CleanerDriver {
public:
    CleanerDriver();

    void initialize();
    void startCleaning();
    void stopCleaning();
    // "boost" when boost is true, else "normal", whatever the previous setting (also "off").
    void decideSetting(bool boost);
    // False only for the exact text "off".
    bool isCleaning() const;
    const std::string& currentMode() const;

private:
    std::string mode;
};

}  // namespace zelk
