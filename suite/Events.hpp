#pragma once

// The controller's events as the suite names them: in its reports ("charging tick") and in
// scripts (the command that sends each). The one table of them; its order is
// ControllerEvent's, and a table of another length does not compile.

#include <cstddef>
#include <iterator>
#include <string_view>

#include <zelk/ControllerObserver.hpp>

namespace zelk::suite {

inline constexpr int EventCount = ControllerEventCount;

struct EventInfo {
    ControllerEvent event;
    std::string_view name;     // in reports
    std::string_view command;  // the script command that sends it (with arguments where needed)
};

inline constexpr EventInfo Events[] = {
    {ControllerEvent::Power, "power", "power"},
    {ControllerEvent::Start, "start", "start"},
    {ControllerEvent::Charge, "charge", "charge"},
    {ControllerEvent::ChargingTick, "charging tick", "charge-tick"},
    {ControllerEvent::StopCharging, "stop charging", "stop-charge"},
    {ControllerEvent::LowBattery, "low battery", "low-battery"},
    {ControllerEvent::LowBatteryCleared, "low battery cleared", "clear-low-battery"},
    {ControllerEvent::Dust, "dust", "dust"},
    {ControllerEvent::Obstacle, "obstacle", "obstacle"},
    {ControllerEvent::BoostExpiry, "boost expiry", "timer-expired"},
    {ControllerEvent::BatterySetup, "battery set-up", "battery"},
};
static_assert(std::size(Events) == static_cast<std::size_t>(EventCount),
              "one entry per controller event");
static_assert(
    [] {
        for (std::size_t i = 0; i < std::size(Events); ++i) {
            if (static_cast<std::size_t>(Events[i].event) != i) {
                return false;
            }
        }
        return true;
    }(),
    "the entries in the order of ControllerEvent");

// The report name of event `event` (an index of Events), or "unknown".
inline std::string_view eventName(int event) {
    return event >= 0 && event < EventCount ? Events[static_cast<std::size_t>(event)].name
                                            : "unknown";
}

}  // namespace zelk::suite
