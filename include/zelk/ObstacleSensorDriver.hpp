#pragma once

namespace zelk {

// The obstacle sensor: switched on at power-on and off at power-off.
//
// Obstacle events reach the system through Controller::obstacleDetected, which hands its
// flags straight to the obstacle processor; the flags kept here are only ever cleared.
// Owned by the Controller; plain data with no synchronisation.
class ObstacleSensorDriver {
public:
    ObstacleSensorDriver();

    void initialize();
    void deactivateObstacleSensor();
    bool isActive() const;

private:
    void clearFlags();

    // Index 0 = front, 1 = left, 2 = right; true = blocked.
    bool direction[3];
    bool active{false};
};

}  // namespace zelk
