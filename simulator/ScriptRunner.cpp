#include "ScriptRunner.hpp"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <variant>

#include "Commands.hpp"
#include "LinePlans.hpp"
#include "LineReader.hpp"
#include "Protocol.hpp"
#include "RunCache.hpp"
#include "StateView.hpp"
#include "Tokenizer.hpp"
#include "Transcript.hpp"

namespace zelk::sim {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view UnknownCommand = " unknown command: ";
constexpr std::string_view CannotRead = " cannot read script file";
constexpr std::string_view LineTooLong = " line too long";

// The run loop: reads each line, answers a repeated short line from its plan, and parses and
// runs any other through the command table.
// The cache the options lend, if it serves runs of this kind.
RunCache* cacheFor(const ScriptOptions& options) {
    RunCache* const cache = options.cache;
    return cache != nullptr && cache->withClock() == static_cast<bool>(options.wait) ? cache
                                                                                     : nullptr;
}

class ScriptRunner {
public:
    ScriptRunner(std::ostream& output, Controller& controller, const ScriptOptions& options);

    // Writes the controller's first STATE line, then runs every line of `input` until its
    // end, a read error, a line too long or "exit"/"quit".
    ScriptRun run(std::istream& input);

private:
    bool runLine(std::string_view line);
    // A line of any length, parsed afresh.
    bool runParsed(std::string_view line);
    // A short line seen for the second time: parsed and run, and its plan recorded.
    bool runAndPlan(std::string_view line, LinePlan& plan);
    // A short line as its plan says.
    bool runPlanned(std::string_view line, LinePlan& plan);
    // The command of the tokens in tokens_, or null (none, or not a command).
    const Command* parse(std::string_view line);
    // "COMMAND line=... input=..." for a line with tokens, after making room for all of it.
    void echo(std::string_view line);
    // Runs `entry` with the tokens in tokens_.
    Reply dispatch(const Command& entry);
    // What a reply means for the run: the ERROR line of a rejection, the verdict, the hooks.
    // `mark` is where the command's own output began. Returns whether to read on.
    bool settle(const Reply& reply, std::size_t mark);
    void error(std::string_view message, std::string_view argument = {});
    // Tells the problem hook, if any, of the line written from `mark` on.
    void report(std::size_t mark) {
        if (tellsProblems_) [[unlikely]] {
            tellProblem(mark);
        }
    }
    void tellProblem(std::size_t mark);
    // Keeps a rejection in `plan`, if it fits.
    static void keepRejection(LinePlan& plan, const Reply& reply);

    CommandContext context_;
    Controller& controller_;
    const ScriptOptions& options_;
    const bool withClock_;
    const bool tellsProblems_;
    TokenList tokens_;                     // views into the current line
    std::unique_ptr<LinePlans> ownPlans_;  // unless a RunCache lends its own
    LinePlans& plans_;
    bool failed_ = false;
};

ScriptRunner::ScriptRunner(std::ostream& output, Controller& controller,
                           const ScriptOptions& options)
    : context_(controller, output, options,
               cacheFor(options) != nullptr ? &cacheFor(options)->stateLines : nullptr),
      controller_(controller),
      options_(options),
      withClock_(static_cast<bool>(options.wait)),
      tellsProblems_(static_cast<bool>(options.problem)),
      ownPlans_(cacheFor(options) == nullptr ? std::make_unique<LinePlans>() : nullptr),
      plans_(cacheFor(options) != nullptr ? cacheFor(options)->plans : *ownPlans_) {}

ScriptRun ScriptRunner::run(std::istream& input) {
    // The controller's first state, from the cache like every STATE line.
    context_.transcript.putChunked(context_.stateLines->line(controller_));
    // The stream's own checks (a sentry per read) are done once: the lines come straight
    // from its buffer.
    LineReader reader(input.good() ? input.rdbuf() : nullptr, options_.keepTime);
    std::string_view line;
    bool more = reader.next(line);
    if (more && options_.firstLine) {
        options_.firstLine(line);
    }
    for (; more; more = reader.next(line)) {
        const bool keepReading = runLine(line);
        context_.transcript.flushIfFull();
        if (!keepReading) {
            context_.transcript.flush();
            return {failed_, ScriptEnd::Exit};
        }
    }
    ScriptEnd end = ScriptEnd::Input;
    if (reader.end() == LineReader::End::ReadError ||
        reader.end() == LineReader::End::LineTooLong) {
        // The script was not read to its end: the run cannot be judged a pass.
        input.setstate(std::ios::badbit);
        context_.lineNo.next();
        context_.transcript.reserve(Transcript::LineRoom + context_.lineNo.size());
        const bool tooLong = reader.end() == LineReader::End::LineTooLong;
        error(tooLong ? LineTooLong : CannotRead);
        end = tooLong ? ScriptEnd::LineTooLong : ScriptEnd::ReadError;
    }
    context_.transcript.flush();
    return {failed_, end};
}

bool ScriptRunner::runLine(std::string_view line) {
    context_.lineNo.next();
    // Comments and blank lines are common, and mostly settled at a glance.
    if (blankOrCommentLine(line)) {
        return true;
    }
    // A script written with CR LF line ends: the echo shows the line without the CR.
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.size() > LinePlan::LongestLine || !plans_.lookUpNext()) {
        return runParsed(line);
    }
    const std::uint64_t hash = LinePlans::hash(line);
    LinePlans::Slot slot = plans_.slotOf(hash);
    if (slot.planned == hash && plans_.plan(slot).holds(line)) {
        plans_.found();
        return runPlanned(line, plans_.plan(slot));
    }
    plans_.missed();
    // A plan is made on a line's second sighting: a line read once costs no plan.
    if (slot.sighted != hash) {
        slot.sighted = hash;
        return runParsed(line);
    }
    slot.planned = hash;
    return runAndPlan(line, plans_.newPlan(slot));
}

const Command* ScriptRunner::parse(std::string_view line) {
    // The line's storage (the read block or a held line) is padded.
    splitInto(stripCommentView(line), tokens_, Storage::Padded);
    return tokens_.empty() ? nullptr : findCommand(tokens_[0], withClock_);
}

[[gnu::always_inline]] inline void ScriptRunner::echo(std::string_view line) {
    // Everything this line is likely to write: the echo, the argument or field and value of
    // an error (parts of the line, so one more copy of it at most), and the line number
    // twice.
    context_.transcript.reserve(2 * (line.size() + context_.lineNo.size()) + Transcript::LineRoom);
    context_.transcript.write(CommandPrefix, context_.lineNo, InputPrefix,
                              Transcript::Chunked{line}, "\"\n"sv);
}

Reply ScriptRunner::dispatch(const Command& entry) {
    if (const auto* event = std::get_if<EventAction>(&entry.action)) {
        (controller_.**event)();
        answerOk(context_, entry.word);
        return Reply::done();
    }
    return (*std::get<Handler>(entry.action))(context_, tokens_);
}

[[gnu::always_inline]] inline bool ScriptRunner::settle(const Reply& reply, std::size_t mark) {
    if (reply.kind == Reply::Kind::Done && reply.asserted.empty()) {
        return true;  // most lines
    }
    if (!reply.asserted.empty() && options_.expected) {
        options_.expected(reply.asserted);
    }
    switch (reply.kind) {
        case Reply::Kind::Done:
            return true;
        case Reply::Kind::ExpectFailed:
            failed_ = true;
            report(mark);
            return true;
        case Reply::Kind::Rejected:
            error(reply.message, reply.argument);
            return true;
        case Reply::Kind::Stop:
            return false;
    }
    return true;
}

void ScriptRunner::error(std::string_view message, std::string_view argument) {
    const std::size_t mark = context_.transcript.mark();
    context_.transcript.write(ErrorPrefix, context_.lineNo, message, argument, '\n');
    failed_ = true;
    report(mark);
}

void ScriptRunner::tellProblem(std::size_t mark) {
    std::string_view text = context_.transcript.text(mark);
    text.remove_suffix(1);  // the line feed
    options_.problem(context_.lineNo.value(), text);
}

bool ScriptRunner::runParsed(std::string_view line) {
    const Command* entry = parse(line);
    if (tokens_.empty()) {
        return true;
    }
    echo(line);
    if (entry == nullptr) {
        error(UnknownCommand, tokens_[0]);
        return true;
    }
    const std::size_t mark = context_.transcript.mark();
    return settle(dispatch(*entry), mark);
}

void ScriptRunner::keepRejection(LinePlan& plan, const Reply& reply) {
    plan.rejection.clear();
    plan.rejection.put(reply.message);
    plan.rejection.put(reply.argument);
    plan.rejection.put('\n');
    // What does not fit is not planned: the line is rejected afresh each time.
    plan.kind =
        plan.rejection.overflowed() ? LinePlan::Kind::Unplannable : LinePlan::Kind::Rejected;
}

bool ScriptRunner::runAndPlan(std::string_view line, LinePlan& plan) {
    const Command* entry = parse(line);
    if (!plan.record(line, tokens_)) {
        plan.kind = LinePlan::Kind::Unplannable;
        return runParsed(line);
    }
    if (tokens_.empty()) {
        plan.kind = LinePlan::Kind::NoTokens;
        return true;
    }
    echo(line);
    if (entry == nullptr) {
        const Reply reply = Reply::rejected(UnknownCommand, tokens_[0]);
        keepRejection(plan, reply);
        return settle(reply, context_.transcript.mark());
    }
    const std::size_t mark = context_.transcript.mark();
    const Reply reply = dispatch(*entry);
    plan.command = entry;
    if (entry->planning == Planning::Never) {
        plan.kind = LinePlan::Kind::Unplannable;
    } else if (reply.kind == Reply::Kind::Rejected) {
        keepRejection(plan, reply);
    } else if (const auto* event = std::get_if<EventAction>(&entry->action)) {
        plan.kind = LinePlan::Kind::Event;
        plan.event = *event;
    } else if (entry->planning == Planning::ByState) {
        plan.kind = LinePlan::Kind::ByState;
        plan.answers[0].known = false;
        plan.answers[1].known = false;
    } else {
        plan.kind = LinePlan::Kind::Tokens;
        plan.handler = std::get<Handler>(entry->action);
    }
    return settle(reply, mark);
}

// Inlined into runLine, its one caller: most lines of most scripts come here.
[[gnu::always_inline]] inline bool ScriptRunner::runPlanned(std::string_view line, LinePlan& plan) {
    switch (plan.kind) {
        case LinePlan::Kind::Rejected: {
            echo(line);
            const std::size_t mark = context_.transcript.mark();
            context_.transcript.write(ErrorPrefix, context_.lineNo,
                                      Transcript::Chunked{plan.rejection.head()});
            failed_ = true;
            report(mark);
            return true;
        }
        case LinePlan::Kind::Event:
            echo(line);
            (controller_.*plan.event)();
            answerOk(context_, plan.command->word);
            return true;
        case LinePlan::Kind::Tokens: {
            plan.tokensOf(line, tokens_);
            echo(line);
            const std::size_t mark = context_.transcript.mark();
            return settle(plan.handler(context_, tokens_), mark);
        }
        case LinePlan::Kind::ByState: {
            // Only the answer may change, with the state; the line changes nothing.
            const std::uint64_t code = controller_.stateCode();
            const LinePlan::Answer* answer = plan.answerIn(code);
            if (answer == nullptr) {
                plan.tokensOf(line, tokens_);
                LinePlan::Answer& slot = plan.nextAnswer();
                slot.known = false;
                slot.text.clear();
                const Reply reply = plan.command->answer(context_, tokens_, code, slot.text);
                const auto at = static_cast<std::size_t>(reply.asserted.data() - line.data());
                if (slot.text.overflowed() || reply.kind == Reply::Kind::Rejected ||
                    (!reply.asserted.empty() && at + reply.asserted.size() > line.size())) {
                    // An answer that does not fit its room is never kept.
                    plan.kind = LinePlan::Kind::Unplannable;
                    return runParsed(line);
                }
                slot.code = code;
                slot.known = true;
                slot.failed = reply.kind == Reply::Kind::ExpectFailed;
                slot.assertedAt = static_cast<std::uint8_t>(reply.asserted.empty() ? 0 : at);
                slot.assertedSize = static_cast<std::uint8_t>(reply.asserted.size());
                answer = &slot;
            }
            echo(line);
            if (answer->assertedSize != 0 && options_.expected) {
                options_.expected(line.substr(answer->assertedAt, answer->assertedSize));
            }
            const std::size_t mark = context_.transcript.mark();
            if (answer->text.hasLineNumber()) {
                context_.transcript.write(Transcript::Chunked{answer->text.head()}, context_.lineNo,
                                          Transcript::Chunked{answer->text.tail()});
            } else {
                context_.transcript.write(Transcript::Chunked{answer->text.head()});
            }
            if (answer->failed) {
                failed_ = true;
                report(mark);
            }
            return true;
        }
        case LinePlan::Kind::Unplannable:
            return runParsed(line);
        case LinePlan::Kind::NoTokens:
        case LinePlan::Kind::Free:
            break;
    }
    return true;
}

}  // namespace

void printHelp(std::ostream& out) { writeHelp(out); }

void printBanner(std::ostream& out, std::string_view scriptPath) {
    out << BannerPrefix << scriptPath << '\n';
}

ScriptRun runScriptBody(std::istream& input, std::ostream& output, Controller& controller,
                        const ScriptOptions& options) {
    ScriptRunner runner(output, controller, options);
    const ScriptRun run = runner.run(input);
    output << resultLine(run.failed) << '\n';
    output.flush();
    return run;
}

int runScriptOn(std::istream& input, std::ostream& output, std::string_view scriptPath,
                Controller& controller, const ScriptOptions& options) {
    printBanner(output, scriptPath);
    return runScriptBody(input, output, controller, options).failed ? 1 : 0;
}

int runScript(std::istream& input, std::ostream& output, std::string_view scriptPath,
              std::chrono::milliseconds boostDuration) {
    // The boost timer keeps real time without a thread of its own: the controller's clock is
    // manual, and after each block of the script is read it is moved to the real time since
    // the start, which applies every expiry that fell due, each at its own due time. The
    // runner is the controller's only user and reads it only from its own lines, so a script
    // sees what a timer thread would have left (a block is run in well under a millisecond,
    // and a pipe that writes line by line gives a block per line); and a short script, which
    // ends long before its first expiry, never starts a thread.
    // The controller goes (and any pending boost expiry with it) after the RESULT line.
    Controller controller{manualClock, boostDuration};
    const auto start = std::chrono::steady_clock::now();
    std::chrono::milliseconds kept{0};
    ScriptOptions options;
    options.keepTime = [&] {
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        controller.advanceClock(now - kept);
        kept = now;
    };
    return runScriptOn(input, output, scriptPath, controller, options);
}

int runScriptFile(const char* path, std::ostream& output, std::ostream& error) {
    constexpr std::size_t ReadBufferSize = std::size_t{64} * 1024;
    const auto readBuffer = std::make_unique_for_overwrite<char[]>(ReadBufferSize);
    std::ifstream scriptFile;
    scriptFile.rdbuf()->pubsetbuf(readBuffer.get(), static_cast<std::streamsize>(ReadBufferSize));
    scriptFile.open(path);
    std::error_code ec;
    // A directory opens on some systems but holds no script: it must not pass as empty.
    if (!scriptFile.is_open() || std::filesystem::is_directory(path, ec)) {
        error << "[ERROR] Cannot open script file: " << path << '\n';
        error.flush();
        return 1;
    }
    const int status = runScript(scriptFile, output, path);
    if (!output) {
        // The transcript is lost (a full disk, a closed pipe): never report that as a pass.
        error << "[ERROR] Cannot write output\n";
        error.flush();
        return 1;
    }
    return status;
}

}  // namespace zelk::sim
