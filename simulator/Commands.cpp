#include "Commands.hpp"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "Protocol.hpp"
#include "TokenParsers.hpp"
#include "WordIndex.hpp"

namespace zelk::sim {
namespace {

using namespace std::string_view_literals;

// The line that judges an expect, written to `out`, which has write(parts...) and
// lineNumber(): "EXPECT_OK field=actual", or "EXPECT_FAIL line=N field=... expected=...
// actual=...".
template <typename Out>
void writeVerdict(Out& out, std::string_view field, std::string_view expected,
                  std::string_view actual, bool pass) {
    if (pass) {
        out.write(ExpectOkPrefix, field, '=', actual, '\n');
        return;
    }
    out.write(ExpectFailPrefix);
    out.lineNumber();
    out.write(" field="sv, field, " expected="sv, expected, " actual="sv, actual, '\n');
}

// The transcript as writeVerdict's output, with the current line's number.
struct TranscriptLine {
    Transcript& transcript;
    const LineCounter& number;
    template <typename... Parts>
    void write(const Parts&... parts) {
        transcript.write(parts...);
    }
    void lineNumber() { transcript.put(number); }
};

Reply help(CommandContext& run, const TokenList& /*tokens*/) {
    run.transcript.flush();
    writeHelp(run.output);
    return Reply::done();
}

Reply exit(CommandContext& /*run*/, const TokenList& /*tokens*/) { return Reply::stop(); }

Reply status(CommandContext& run, const TokenList& /*tokens*/) {
    run.transcript.putChunked(run.stateLines->line(run.controller));
    return Reply::done();
}

Reply battery(CommandContext& run, const TokenList& tokens) {
    if (tokens.size() != 2) {
        return Reply::rejected(" battery command requires one integer level");
    }
    int level = 0;
    if (!parseIntToken(tokens[1], level)) {
        return Reply::rejected(" invalid battery level: ", tokens[1]);
    }
    run.controller.setBatteryLevel(level);
    // The level the controller holds, not the one written: the battery clamps it.
    answerOk(run, "battery "sv, NumberText(run.controller.batteryLevel()).view());
    return Reply::done();
}

Reply chargeTick(CommandContext& run, const TokenList& tokens) {
    int count = 1;
    if (tokens.size() >= 2 && !parseIntToken(tokens[1], count)) {
        return Reply::rejected(" invalid tick count: ", tokens[1]);
    }
    if (count < 1) {
        return Reply::rejected(" tick count must be at least 1");
    }
    // Once charging has ended every further tick is a no-op (only "charge" starts it again),
    // so the remaining ticks are skipped: any count returns at once with the same result.
    for (int i = 0; i < count; ++i) {
        run.controller.chargingTick();
        if (!run.controller.isCharging()) {
            break;
        }
    }
    answerOk(run, "charge-tick "sv, NumberText(count).view());
    return Reply::done();
}

Reply wait(CommandContext& run, const TokenList& tokens) {
    if (tokens.size() != 2) {
        return Reply::rejected(" wait command requires one duration");
    }
    std::chrono::milliseconds duration{};
    if (!parseDurationToken(tokens[1], duration)) {
        return Reply::rejected(" invalid wait duration: ", tokens[1]);
    }
    run.options.wait(duration);
    answerOk(run, "wait "sv, NumberText(duration.count()).view(), "ms"sv);
    return Reply::done();
}

Reply obstacle(CommandContext& run, const TokenList& tokens) {
    if (tokens.size() != 4) {
        return Reply::rejected(" obstacle command requires front left right values");
    }
    bool blocked[3] = {false, false, false};
    for (std::size_t i = 0; i < 3; ++i) {
        if (!parseBoolToken(tokens[i + 1], blocked[i])) {
            // A rejected command applies none of its values.
            return Reply::rejected(" invalid obstacle value: ", tokens[i + 1]);
        }
    }
    run.controller.obstacleDetected(blocked);
    answerOk(run, "obstacle front="sv, boolWord(blocked[0]), " left="sv, boolWord(blocked[1]),
             " right="sv, boolWord(blocked[2]));
    return Reply::done();
}

// An expect's verdict in the state of `code`, written to `out`; its reply.
template <typename Out>
Reply judge(CommandContext& run, const TokenList& tokens, std::uint64_t code, Out& out) {
    if (tokens.size() != 3) {
        return Reply::rejected(" expect command requires field and value");
    }
    NumberBuffer digits;
    const std::optional<std::string_view> actual = run.fields.text(code, tokens[1], digits);
    if (!actual) {
        return Reply::rejected(" unknown expect field: ", tokens[1]);
    }
    const bool pass = valueMatches(*actual, tokens[2]);
    writeVerdict(out, tokens[1], tokens[2], *actual, pass);
    Reply reply;
    reply.kind = pass ? Reply::Kind::Done : Reply::Kind::ExpectFailed;
    reply.asserted = tokens[1];
    return reply;
}

Reply expect(CommandContext& run, const TokenList& tokens) {
    TranscriptLine out{run.transcript, run.lineNo};
    return judge(run, tokens, run.controller.stateCode(), out);
}

Reply expectIn(CommandContext& run, const TokenList& tokens, std::uint64_t code,
               PlannedText& text) {
    return judge(run, tokens, code, text);
}

// In the order of the help text. A command word matches at most one entry, so the order
// never changes which command runs.
constexpr Command Commands[] = {
    {.word = "help",
     .usage = "help",
     .description = "Show this help message",
     .action = &help,
     .planning = Planning::Replay},
    {.word = "status",
     .usage = "status",
     .description = "Print current controller state",
     .action = &status,
     .planning = Planning::Replay},
    {.word = "power",
     .usage = "power",
     .description = "Press power button",
     .action = &Controller::powerButtonPressed,
     .planning = Planning::Replay},
    {.word = "start",
     .usage = "start",
     .description = "Press start button",
     .action = &Controller::startButtonPressed,
     .planning = Planning::Replay},
    {.word = "battery",
     .alias = "set-battery",
     .usage = "battery <0-100>",
     .description = "Set battery level for simulation setup",
     .action = &battery,
     .planning = Planning::Replay},
    {.word = "charge",
     .usage = "charge",
     .description = "Start battery charging",
     .action = &Controller::chargeBattery,
     .planning = Planning::Replay},
    {.word = "charge-tick",
     .alias = "charging-tick",
     .usage = "charge-tick [count]",
     .description = "Run charging tick one or more times",
     .action = &chargeTick,
     .planning = Planning::Replay},
    {.word = "stop-charge",
     .alias = "stop-charging",
     .usage = "stop-charge",
     .description = "Stop charging",
     .action = &Controller::stopCharging,
     .planning = Planning::Replay},
    {.word = "low-battery",
     .alias = "low",
     .usage = "low-battery",
     .description = "Trigger low battery detection",
     .action = &Controller::lowBatteryDetected,
     .planning = Planning::Replay},
    {.word = "clear-low-battery",
     .alias = "clear-low",
     .usage = "clear-low-battery",
     .description = "Clear low battery mode manually",
     .action = &Controller::lowBatteryCleared,
     .planning = Planning::Replay},
    {.word = "dust",
     .usage = "dust",
     .description = "Trigger dust detection",
     .action = &Controller::dustDetected,
     .planning = Planning::Replay},
    {.word = "timer-expired",
     .alias = "timer_expired",
     .usage = "timer-expired",
     .description = "Fire timer expiry synchronously",
     .action = &Controller::timerExpiredNow,
     .planning = Planning::Replay},
    // Not in the help text, whose every byte is fixed: the README documents it.
    {.word = "wait", .action = &wait, .planning = Planning::Replay, .needsClock = true},
    {.word = "obstacle",
     .usage = "obstacle <front> <left> <right>",
     .description = "Trigger obstacle detection. 1/blocked, 0/clear",
     .action = &obstacle,
     .planning = Planning::Replay},
    {.word = "expect",
     .usage = "expect <field> <value>",
     .description = "Assert state in CLI script",
     .action = &expect,
     .planning = Planning::ByState,
     .answer = &expectIn},
    {.word = "exit",
     .alias = "quit",
     .usage = "exit",
     .description = "Exit simulator",
     .action = &exit,
     .planning = Planning::Replay},
};

// A ByState entry renders its answer through `answer` and runs a handler on the plain path.
constexpr bool entriesAreWellFormed() {
    for (const Command& entry : Commands) {
        if (entry.word.empty() ||
            (entry.planning == Planning::ByState &&
             (entry.answer == nullptr || !std::holds_alternative<Handler>(entry.action)))) {
            return false;
        }
    }
    return true;
}
static_assert(entriesAreWellFormed());

using CommandIndex = WordIndex<Command, 64>;

constexpr CommandIndex buildIndex(bool withClock) {
    CommandIndex index;
    for (const Command& entry : Commands) {
        if (entry.needsClock && !withClock) {
            continue;
        }
        index.add(entry.word, &entry);
        index.add(entry.alias, &entry);  // nothing for an empty alias
    }
    return index;
}

constexpr std::size_t wordCount(bool withClock) {
    std::size_t count = 0;
    for (const Command& entry : Commands) {
        if (!entry.needsClock || withClock) {
            count += entry.alias.empty() ? std::size_t{1} : std::size_t{2};
        }
    }
    return count;
}

// The words and aliases of the commands a run knows: one index with "wait", one without.
constexpr CommandIndex PlainIndex = buildIndex(false);
constexpr CommandIndex ClockedIndex = buildIndex(true);
static_assert(PlainIndex.size() == wordCount(false) && ClockedIndex.size() == wordCount(true),
              "every word and alias is in the index");

// The help text's list of expect fields: their names, two blanks in, wrapped before a name
// that would take a line past this width.
constexpr std::size_t FieldListWidth = 72;

}  // namespace

std::span<const Command> commandTable() { return Commands; }

const Command* findCommand(std::string_view word, bool withClock) {
    return (withClock ? ClockedIndex : PlainIndex).find(word);
}

void writeHelp(std::ostream& out) {
    // The usage column is 34 characters wide, so every description starts at column 37.
    constexpr std::size_t UsageWidth = 34;
    std::string text = "Commands:\n";
    for (const Command& entry : Commands) {
        if (entry.usage.empty()) {
            continue;
        }
        text += "  ";
        text += entry.usage;
        text.append(UsageWidth > entry.usage.size() ? UsageWidth - entry.usage.size() : 1, ' ');
        text += entry.description;
        text += '\n';
    }
    text += "\nExpect fields:\n ";
    std::size_t lineSize = 1;  // of the list's line being written
    const auto fields = expectFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string_view name = fields[i].name;
        const std::size_t comma = i + 1 < fields.size() ? 1 : 0;
        if (lineSize > 1 && lineSize + 1 + name.size() + comma > FieldListWidth) {
            text.append("\n ");
            lineSize = 1;
        }
        text.push_back(' ');
        text.append(name.data(), name.size());
        text.append(comma, ',');
        lineSize += 1 + name.size() + comma;
    }
    text +=
        "\n"
        "\n"
        "Examples:\n"
        "  zelk_simulator\n"
        "  zelk_simulator system_tests/tc/TC01_PowerButtonPressed1.zelk\n";
    out << text;
}

}  // namespace zelk::sim
