#include <sstream>
#include <string>

#include "Menu.hpp"
#include <zelk/Controller.hpp>

#include <gtest/gtest.h>

namespace zelk::sim {
namespace {

// The charging messages cannot be reached from a fresh cleaner through the menu alone (the
// battery starts full and no choice lowers it), so these runs set the level first.
class MenuTest : public ::testing::Test {
protected:
    Controller controller{std::chrono::hours(1)};

    std::string runMenu(const std::string& answers) {
        std::istringstream in(answers);
        std::ostringstream out;
        runInteractiveMenu(controller, in, out);
        return out.str();
    }
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(MenuTest, ChargingToFullAnnouncesEachStepAndTheFullBattery) {
    controller.setBatteryLevel(95);
    const std::string out = runMenu("5\n5\n0\n");
    EXPECT_TRUE(contains(out,
                         "Select: \n[Battery] Charging... 95% \u2192 100%\n"
                         "[Battery] Fully Charged!\n\n"))
        << out;
    // At 100 the battery cannot charge any more.
    EXPECT_TRUE(contains(out, "Select: \n[Battery] Cannot charge in current mode (Off)\n")) << out;
}

TEST_F(MenuTest, WhileChargingTheStatusSaysSoAndStartIsRefused) {
    controller.setBatteryLevel(50);
    const std::string out = runMenu("5\n1\n2\n0\n");
    EXPECT_TRUE(contains(out, "[Battery] Charging... 50% \u2192 60%\n\n")) << out;
    EXPECT_FALSE(contains(out, "Fully Charged")) << out;
    EXPECT_TRUE(contains(out, "  Battery : 60% (Charging)\n")) << out;
    EXPECT_TRUE(contains(out, "Select: \n[System] Cannot start: Charging in progress\n")) << out;
    EXPECT_TRUE(controller.isCharging());
    EXPECT_EQ(controller.currentModeName(), "StandbyMode");
}

TEST_F(MenuTest, EndsAtZeroWithOneLineFeedAndLeavesTheRestUnread) {
    std::istringstream in("0 1\n");
    std::ostringstream out;
    runInteractiveMenu(controller, in, out);
    const std::string text = out.str();
    EXPECT_EQ(text.substr(text.size() - 9), "Select: \n");
    EXPECT_FALSE(controller.isPowerOn());
    int next = 0;
    EXPECT_TRUE(in >> next);
    EXPECT_EQ(next, 1);
}

TEST_F(MenuTest, NumberBeyondIntEndsTheMenuLikeEndOfInput) {
    const std::string out = runMenu("1\n99999999999\n1\n");
    EXPECT_TRUE(controller.isPowerOn()) << "the answer after the bad one must not be read";
    EXPECT_EQ(out.substr(out.size() - 8), "Select: ");
}

}  // namespace
}  // namespace zelk::sim
