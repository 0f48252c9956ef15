#pragma once

// The script commands: one table that both dispatches and prints the help text, and the
// handlers of the commands that are more than a plain event.
//
// Adding a command is adding an entry to the table (Commands.cpp). An entry names its word,
// alias, help line and action; an action is either a plain event of the controller (the
// runner calls it and answers "OK <word>" and a STATE line) or a handler. A handler returns
// what it did as a Reply: a rejection is a value the runner turns into its ERROR line, never
// something the handler writes itself.
//
// The runner answers a short line it has read twice from a plan of what the line came to
// (LinePlans.hpp). Whether an entry's lines may be planned is the entry's `planning`, never
// by default:
// - Planning::Replay keeps the line's tokens and replays a rejection without running the
//   handler again. Only for a handler whose rejections depend on nothing but the line's
//   text: never on the controller's state, the clock or earlier lines.
// - Planning::ByState also keeps the whole answer for the last states the line met. Only for
//   a command that changes nothing and whose answer depends on nothing but the line's text
//   and the controller's state code; its `answer` renders that answer in a given state.
// A line whose plan would not fit the plan's fixed room is simply never planned.

#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string_view>
#include <variant>

#include "BoundedText.hpp"
#include "Protocol.hpp"
#include "ScriptRunner.hpp"
#include "StateView.hpp"
#include "Tokenizer.hpp"
#include "Transcript.hpp"
#include <zelk/Controller.hpp>

namespace zelk::sim {

// What a command did.
struct Reply {
    enum class Kind : std::uint8_t {
        Done,          // answered; the run goes on
        ExpectFailed,  // answered with an EXPECT_FAIL line: the run fails
        Rejected,      // nothing done: the runner writes the ERROR line, and the run fails
        Stop,          // "exit": no further line is read
    };
    Kind kind = Kind::Done;
    std::string_view message;   // Rejected: the text after the line number
    std::string_view argument;  // Rejected: the token that the message names, if any
    std::string_view asserted;  // the expect field asserted, as written: a view into the line

    static constexpr Reply done() { return {}; }
    static constexpr Reply stop() { return {Kind::Stop, {}, {}, {}}; }
    static constexpr Reply rejected(std::string_view message, std::string_view argument = {}) {
        return {Kind::Rejected, message, argument, {}};
    }
};

// What a handler works on: the run's controller, its transcript and its views of the state.
// The runner owns one for the whole run.
struct CommandContext {
    // `shared`: STATE lines kept across runs, or null for the run's own.
    CommandContext(Controller& runController, std::ostream& runOutput,
                   const ScriptOptions& runOptions, StateLineCache* shared)
        : controller(runController),
          options(runOptions),
          output(runOutput),
          transcript(runOutput),
          ownLines(shared == nullptr ? std::make_unique<StateLineCache>() : nullptr),
          stateLines(shared != nullptr ? shared : ownLines.get()) {}

    Controller& controller;
    const ScriptOptions& options;
    std::ostream& output;  // where the transcript goes: for the help text, written past it
    Transcript transcript;
    FieldReader fields;
    LineCounter lineNo;                        // of the line being run
    std::unique_ptr<StateLineCache> ownLines;  // unless a RunCache lends its own
    StateLineCache* stateLines;                // never null
};

// The room that a planned answer or rejection has.
using PlannedText = BoundedText<96>;

using EventAction = void (Controller::*)();
using Handler = Reply (*)(CommandContext& run, const TokenList& tokens);
// The answer of a Planning::ByState command in the state of `stateCode`, rendered into `text`
// (with lineNumber() where the line number goes) instead of the transcript.
using Answer = Reply (*)(CommandContext& run, const TokenList& tokens, std::uint64_t stateCode,
                         PlannedText& text);

enum class Planning : std::uint8_t { Never, Replay, ByState };

struct Command {
    std::string_view word{};
    std::string_view alias{};        // empty: none
    std::string_view usage{};        // the help text's first column; empty: not listed
    std::string_view description{};  // the help text's second column
    std::variant<EventAction, Handler> action{};
    Planning planning = Planning::Never;
    Answer answer = nullptr;  // Planning::ByState only
    bool needsClock = false;  // only where the run has a clock to advance ("wait")
};

// Every command, in the order of the help text.
std::span<const Command> commandTable();
// The command whose word or alias is `word` (any letter case), or null; "wait" only
// `withClock`.
const Command* findCommand(std::string_view word, bool withClock);

// The help text.
void writeHelp(std::ostream& out);

// "OK " and `parts` (views: a literal as "..."sv) on one line, then the STATE line.
template <typename... Parts>
void answerOk(CommandContext& run, const Parts&... parts) {
    const std::string_view state = run.stateLines->line(run.controller);
    run.transcript.write(OkPrefix, parts..., '\n', Transcript::Chunked{state});
}

}  // namespace zelk::sim
