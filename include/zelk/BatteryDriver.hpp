#pragma once

namespace zelk {

// The battery: a charge level in percent, always within 0..100, and a full flag.
//
// Owned by the Controller, which calls it on power-on/off, charging and battery set-up.
// Plain data with no synchronisation: the owner keeps threads apart.
class BatteryDriver {
public:
    BatteryDriver();

    // Recomputes the full flag; the level is unchanged. Called at power-on.
    void initialize();
    // Recomputes the full flag; the level is unchanged. Called at power-off.
    void turnOffBattery();
    // Recomputes the full flag; true when the battery is below 100 and may charge.
    bool startCharging();
    void stopCharging();
    // One charging step: +10, saturating at 100. False (and no change) when already full.
    bool inclineLV();
    // One discharge step: -1, saturating at 0.
    void declineLV();
    bool isLow() const;
    // The full flag as of the last recomputation; it is read, not recomputed.
    bool isFull() const;
    int level() const;
    // Clamps any value to 0..100, then recomputes the full flag.
    void setLevel(int level);

private:
    static constexpr int MinLevel = 0;
    static constexpr int MaxLevel = 100;
    static constexpr int LowBatteryThreshold = 10;
    static constexpr int ChargeStep = 10;
    static constexpr int DischargeStep = 1;

    void updateStatus();

    int LV;
    bool status{true};
};

}  // namespace zelk
