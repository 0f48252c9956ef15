#include "zelk/CleanerDriver.hpp"

#include <string_view>

namespace zelk {

CleanerDriver::CleanerDriver() : mode("off") {}

void CleanerDriver::initialize() { mode = "off"; }

void CleanerDriver::startCleaning() { mode = "normal"; }

void CleanerDriver::stopCleaning() { mode = "off"; }

void CleanerDriver::decideSetting(bool boost) { mode = boost ? "boost" : "normal"; }

// A view of the literal, so that the comparison knows its length without counting it.
bool CleanerDriver::isCleaning() const { return mode != std::string_view("off"); }

const std::string& CleanerDriver::currentMode() const { return mode; }

}  // namespace zelk
