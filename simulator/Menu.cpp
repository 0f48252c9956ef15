#include "Menu.hpp"

#include <iterator>
#include <sstream>
#include <string>

#include "Protocol.hpp"
#include "StateView.hpp"

namespace zelk::sim {
namespace {

constexpr const char* Rule = "-----------------------------------";

void printMenuStatus(const Controller& controller, std::ostream& out) {
    out << Rule << '\n';
    out << "  Mode    : " << controller.currentModeName() << '\n';
    out << "  Battery : " << controller.batteryLevel() << '%';
    if (controller.isCharging()) {
        out << " (Charging)";
    }
    out << '\n';
    if (controller.isMotorMoving()) {
        out << "  Motor   : " << directionText(controller.motorDirection()) << " / "
            << (controller.isMotorForward() ? "Forward" : "Backward") << '\n';
    } else {
        out << "  Motor   : Stopped\n";
    }
    out << "  Cleaner : " << controller.cleanerMode() << '\n';
    out << Rule << '\n';
}

void handlePower(Controller& controller, std::istream& /*in*/, std::ostream& out) {
    const bool wasPowerOn = controller.isPowerOn();
    controller.powerButtonPressed();
    if (!wasPowerOn) {
        out << "[System] Power On \u2192 " << controller.currentModeName() << '\n';
    } else {
        out << "[System] Power Off\n";
    }
}

void handleStart(Controller& controller, std::istream& /*in*/, std::ostream& out) {
    if (!controller.isPowerOn()) {
        out << "[System] Cannot start: Power is off\n";
        return;
    }
    if (controller.isCharging()) {
        out << "[System] Cannot start: Charging in progress\n";
        return;
    }
    const bool wasCleaning = controller.isCleanerCleaning();
    controller.startButtonPressed();
    out << "[System] Start Button \u2192 " << controller.currentModeName() << '\n';
    const bool isCleaning = controller.isCleanerCleaning();
    // The motor lines follow the change in the cleaner; the motor is not consulted.
    if (!wasCleaning && isCleaning) {
        out << "[Cleaner] Start Cleaning...\n[Motor] Move Forward\n";
    } else if (wasCleaning && !isCleaning) {
        out << "[Cleaner] Stop Cleaning\n[Motor] Stopped\n";
    } else {
        out << "[System] No change in current mode\n";
    }
}

void handleDust(Controller& controller, std::istream& /*in*/, std::ostream& out) {
    if (!controller.isPowerOn()) {
        out << "[Dust] No effect: Power is off\n";
        return;
    }
    const bool wasBoost = controller.currentModeKind() == ModeKind::Boost;
    controller.dustDetected();  // arms the boost timer itself when boosting
    if (controller.currentModeKind() == ModeKind::Boost) {
        if (!wasBoost) {
            out << "[Dust Detected] \u2192 BoostMode\n[Cleaner] Boost Cleaning for 5 sec...\n";
        } else {
            out << "[Dust Detected] Already in BoostMode\n";
        }
    } else {
        out << "[Dust] No effect in current mode (" << controller.currentModeName() << ")\n";
    }
}

void handleLowBattery(Controller& controller, std::istream& /*in*/, std::ostream& out) {
    if (!controller.isPowerOn()) {
        out << "[Battery] No effect: Power is off\n";
        return;
    }
    const bool wasCleaning = controller.isCleanerCleaning();
    const bool wasMoving = controller.isMotorMoving();
    controller.lowBatteryDetected();
    out << "[Battery] Low Battery Detected! \u2192 " << controller.currentModeName() << '\n';
    if (wasCleaning && !controller.isCleanerCleaning()) {
        out << "[Cleaner] Stop Cleaning\n";
    }
    if (wasMoving && !controller.isMotorMoving()) {
        out << "[Motor] Stopped\n";
    }
}

void handleCharge(Controller& controller, std::istream& /*in*/, std::ostream& out) {
    const int prevLevel = controller.batteryLevel();
    controller.chargeBattery();
    const int level = controller.batteryLevel();
    if (level > prevLevel) {
        out << "[Battery] Charging... " << prevLevel << "% \u2192 " << level << "%\n";
        if (level == 100) {
            out << "[Battery] Fully Charged!\n";
        }
    } else {
        out << "[Battery] Cannot charge in current mode (" << controller.currentModeName() << ")\n";
    }
}

void handleObstacle(Controller& controller, std::istream& in, std::ostream& out) {
    if (!controller.isPowerOn()) {
        out << "[Obstacle] No effect: Power is off\n";
        return;
    }
    out << "  Input [front,left,right] (e.g. [1,0,0]): " << std::flush;
    std::string token;
    if (!(in >> token)) {
        return;
    }
    for (char& ch : token) {
        if (ch == '[' || ch == ']' || ch == ',') {
            ch = ' ';
        }
    }
    std::istringstream values(token);
    int f = 0;
    int l = 0;
    int r = 0;
    if (!(values >> f >> l >> r)) {
        out << "[Error] Invalid format. Use [front,left,right] e.g. [1,0,0]\n";
        return;
    }
    const bool dir[3] = {f != 0, l != 0, r != 0};
    out << "\n[Obstacle Detected] front=" << blockedClearWord(dir[0])
        << " left=" << blockedClearWord(dir[1]) << " right=" << blockedClearWord(dir[2]) << '\n';
    controller.obstacleDetected(dir);
    out << "[Motor] Direction: " << directionText(controller.motorDirection())
        << ", Forward: " << (controller.isMotorForward() ? "true" : "false") << '\n';
}

// The menu's choices 1 to 6, in order: the table both prints the listing and dispatches.
struct Choice {
    std::string (*label)(const Controller& controller);  // what the choice would do now
    void (*handle)(Controller& controller, std::istream& in, std::ostream& out);
};

const Choice Choices[] = {
    {[](const Controller& c) { return std::string("Power ") + (c.isPowerOn() ? "Off" : "On"); },
     handlePower},
    {[](const Controller& c) {
         return std::string(c.isCleanerCleaning() ? "Stop" : "Start") + " Cleaning";
     },
     handleStart},
    {[](const Controller&) { return std::string("Dust Detected"); }, handleDust},
    {[](const Controller&) { return std::string("Low Battery"); }, handleLowBattery},
    {[](const Controller&) { return std::string("Charge Battery"); }, handleCharge},
    {[](const Controller&) { return std::string("Obstacle Detected"); }, handleObstacle},
};
constexpr int ChoiceCount = static_cast<int>(std::size(Choices));

void printMenu(const Controller& controller, std::ostream& out) {
    for (int i = 0; i < ChoiceCount; ++i) {
        out << i + 1 << ". " << Choices[i].label(controller) << '\n';
    }
    out << "0. Exit\n";
}

}  // namespace

void runInteractiveMenu(Controller& controller, std::istream& input, std::ostream& output) {
    output << "\n======= ZELK Simulator =======\n";
    while (true) {
        output << '\n';
        printMenuStatus(controller, output);
        output << '\n';
        printMenu(controller, output);
        output << "Select: " << std::flush;
        int choice = 0;
        if (!(input >> choice)) {
            return;  // end of input, or not a number: leave without another word
        }
        output << '\n';
        if (choice == 0) {
            output.flush();
            return;
        }
        if (choice >= 1 && choice <= ChoiceCount) {
            Choices[choice - 1].handle(controller, input, output);
        } else {
            output << "[Error] Please enter 0-6.\n";
        }
    }
}

}  // namespace zelk::sim
