#pragma once

// The scenario-script runner: reads one command per line, drives one Controller with it
// and answers in the line protocol (banner, COMMAND, OK, ERROR, EXPECT_OK, EXPECT_FAIL,
// STATE and a closing RESULT line).

#include <chrono>
#include <functional>
#include <istream>
#include <ostream>
#include <string_view>

#include <zelk/Controller.hpp>

namespace zelk::sim {

struct ScriptOptions {
    // Enables the command "wait DURATION", which calls this with the duration (at most
    // 2147483647 ms) and answers "OK wait <ms>ms" and a STATE line. Left empty, as in
    // zelk_simulator, "wait" is an unknown command.
    std::function<void(std::chrono::milliseconds)> wait;
    // Told the field name, as written, of every expectation on a known field.
    std::function<void(std::string_view field)> expected;
};

// The help text of the script commands.
void printHelp(std::ostream& out);

// Runs the script read from `input`; `scriptPath` is only echoed in the banner. Returns the
// exit status: 0 after "RESULT PASS", 1 after "RESULT FAIL".
int runScript(std::istream& input, std::ostream& output, std::string_view scriptPath);

// The same on a controller of the caller's, with the given options.
int runScriptOn(std::istream& input, std::ostream& output, std::string_view scriptPath,
                Controller& controller, const ScriptOptions& options);

// Opens the script at `path` and runs it. A path that cannot be opened, or names a
// directory, gets one message on `error`, nothing on `output`, and exit status 1. Output
// that could not be written gets one message on `error` and exit status 1 as well.
int runScriptFile(const char* path, std::ostream& output, std::ostream& error);

}  // namespace zelk::sim
