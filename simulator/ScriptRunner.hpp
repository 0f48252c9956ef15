#pragma once

// The scenario-script runner: reads one command per line, drives one Controller with it
// and answers in the line protocol (banner, COMMAND, OK, ERROR, EXPECT_OK, EXPECT_FAIL,
// STATE and a closing RESULT line).
//
// A line is at most 16 MiB long (LineReader::MaxLineSize). A longer one gets one
// "ERROR line=N line too long" line, without the COMMAND echo of its text, and ends the
// reading as a read error does; the run then fails.

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <string_view>

#include <zelk/Controller.hpp>

namespace zelk::sim {

class RunCache;

struct ScriptOptions {
    // Enables the command "wait DURATION", which calls this with the duration (at most
    // 2147483647 ms) and answers "OK wait <ms>ms" and a STATE line. Left empty, as in
    // zelk_simulator, "wait" is an unknown command.
    std::function<void(std::chrono::milliseconds)> wait;
    // Told the field name, as written, of every expectation on a known field.
    std::function<void(std::string_view field)> expected;
    // Told every ERROR and EXPECT_FAIL line as it is written: its script line number, and the
    // line without its line feed (a view valid during the call).
    std::function<void(std::uint64_t line, std::string_view text)> problem;
    // Told the script's first line, as read, before it runs.
    std::function<void(std::string_view line)> firstLine;
    // What the run may share with the runs before and after it on the same thread
    // (RunCache.hpp): zelk_suite's workers keep one each. Null: the run keeps its own.
    RunCache* cache = nullptr;
    // Called after each block of the script is read (at most 64 KiB, and a line or less from
    // a pipe that writes line by line), before its first line runs: where a caller brings a
    // clock up to date.
    std::function<void()> keepTime;
};

// Why a run stopped reading its script.
enum class ScriptEnd {
    Input,        // the end of the script
    Exit,         // an "exit" or "quit" line
    ReadError,    // the script could not be read to its end
    LineTooLong,  // a line was longer than the longest line a script may have
};

struct ScriptRun {
    bool failed = false;  // the verdict was RESULT FAIL
    ScriptEnd end = ScriptEnd::Input;
};

// The help text of the script commands.
void printHelp(std::ostream& out);

// The banner line: "ZELK Simulator CLI script=" and the path, byte for byte.
void printBanner(std::ostream& out, std::string_view scriptPath);

// Runs the script read from `input`; `scriptPath` is only echoed in the banner. Returns the
// exit status: 0 after "RESULT PASS", 1 after "RESULT FAIL". A boost lasts `boostDuration`
// of real time.
int runScript(std::istream& input, std::ostream& output, std::string_view scriptPath,
              std::chrono::milliseconds boostDuration = std::chrono::seconds(5));

// The same on a controller of the caller's, with the given options.
int runScriptOn(std::istream& input, std::ostream& output, std::string_view scriptPath,
                Controller& controller, const ScriptOptions& options);

// All of a run after its banner: the first STATE line, the lines, the RESULT line.
ScriptRun runScriptBody(std::istream& input, std::ostream& output, Controller& controller,
                        const ScriptOptions& options);

// Opens the script at `path` and runs it. A path that cannot be opened, or names a
// directory, gets one message on `error`, nothing on `output`, and exit status 1. Output
// that could not be written gets one message on `error` and exit status 1 as well.
int runScriptFile(const char* path, std::ostream& output, std::ostream& error);

}  // namespace zelk::sim
