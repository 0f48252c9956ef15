#pragma once

#include "zelk/OperatingMode.hpp"

namespace zelk {

// The four operating modes. Each is a stateless single object reached through its
// accessor below; nothing else creates, copies or deletes a mode. Transitions return a
// reference to one of these objects and allocate nothing.

class StandbyMode final : public OperatingMode {
public:
    void checkIsMoving(Direction direction, MotorDriver& motorDriver) const override;
    OperatingMode& startButtonPressed(CleanerDriver& cleanerDriver,
                                      MotorDriver& motorDriver) override;
    OperatingMode& lowBatteryDetected(CleanerDriver& cleanerDriver,
                                      MotorDriver& motorDriver) override;
    OperatingMode& lowBatteryCleared() override;
    OperatingMode& dustDetected(CleanerDriver& cleanerDriver) override;
    bool canCharge() const override;
    OperatingMode& timerExpired(CleanerDriver& cleanerDriver) override;
    ModeKind kind() const override;
    const char* name() const override;
};

class NormalMode final : public OperatingMode {
public:
    void checkIsMoving(Direction direction, MotorDriver& motorDriver) const override;
    OperatingMode& startButtonPressed(CleanerDriver& cleanerDriver,
                                      MotorDriver& motorDriver) override;
    OperatingMode& lowBatteryDetected(CleanerDriver& cleanerDriver,
                                      MotorDriver& motorDriver) override;
    OperatingMode& lowBatteryCleared() override;
    OperatingMode& dustDetected(CleanerDriver& cleanerDriver) override;
    bool canCharge() const override;
    OperatingMode& timerExpired(CleanerDriver& cleanerDriver) override;
    ModeKind kind() const override;
    const char* name() const override;
};

class BoostMode final : public OperatingMode {
public:
    void checkIsMoving(Direction direction, MotorDriver& motorDriver) const override;
    OperatingMode& startButtonPressed(CleanerDriver& cleanerDriver,
                                      MotorDriver& motorDriver) override;
    OperatingMode& lowBatteryDetected(CleanerDriver& cleanerDriver,
                                      MotorDriver& motorDriver) override;
    OperatingMode& lowBatteryCleared() override;
    OperatingMode& dustDetected(CleanerDriver& cleanerDriver) override;
    bool canCharge() const override;
    OperatingMode& timerExpired(CleanerDriver& cleanerDriver) override;
    ModeKind kind() const override;
    const char* name() const override;
};

class LowBatteryMode final : public OperatingMode {
public:
    void checkIsMoving(Direction direction, MotorDriver& motorDriver) const override;
    OperatingMode& startButtonPressed(CleanerDriver& cleanerDriver,
                                      MotorDriver& motorDriver) override;
    OperatingMode& lowBatteryDetected(CleanerDriver& cleanerDriver,
                                      MotorDriver& motorDriver) override;
    OperatingMode& lowBatteryCleared() override;
    OperatingMode& dustDetected(CleanerDriver& cleanerDriver) override;
    bool canCharge() const override;
    OperatingMode& timerExpired(CleanerDriver& cleanerDriver) override;
    ModeKind kind() const override;
    const char* name() const override;
};

// Accessors of the single mode objects: created on first use (thread-safe), destroyed at
// program exit. Every call returns the same object.
OperatingMode& standbyMode();
OperatingMode& normalMode();
OperatingMode& boostMode();
OperatingMode& lowBatteryMode();

}  // namespace zelk
