#pragma once

namespace zelk {

// The dust sensor: switched on at power-on and off at power-off.
//
// Dust events reach the system through Controller::dustDetected, not through this driver,
// so the dust flag is only ever cleared and always reads false. Owned by the Controller;
// plain data with no synchronisation.
class DustSensorDriver {
public:
    DustSensorDriver();

    void initialize();
    void deactivateDustSensor();
    bool isActive() const;
    bool isDustDetected() const;
    // Kept for interface completeness; nothing calls it. Reports the (always clear) flag.
    bool hasDust() const;

private:
    // There is no hardware to read: reports the stored flag.
    bool readDustFromSensor() const;

    bool dust{false};
    bool active{false};
};

}  // namespace zelk
