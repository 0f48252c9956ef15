#include "ScriptRunner.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <streambuf>
#include <string>
#include <system_error>
#include <type_traits>
#include <variant>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "StateView.hpp"
#include "TextHelpers.hpp"
#include <zelk/Controller.hpp>

namespace zelk::sim {
namespace {

using Tokens = TokenList;

// The decimal text of a number, without allocating.
class NumberText {
public:
    explicit NumberText(long long value)
        : size_(static_cast<std::size_t>(
              std::to_chars(digits_, digits_ + sizeof digits_, value).ptr - digits_)) {}
    std::string_view view() const { return {digits_, size_}; }

private:
    char digits_[24];
    std::size_t size_;
};

// A line number: the decimal text of all but its last two digits, and those two as a number.
// Counting up is an addition, and the text changes once in a hundred lines. The number is
// never read back from memory just after a byte of it was stored there, which would stall
// the copy of the whole chunk that writes it out.
class LineCounter {
public:
    void next() {
        if (++low_ == 100) {
            low_ = 0;
            carry();
        }
    }

    // An upper bound of the number's length.
    std::size_t size() const { return digits_ + 2; }

    // Writes the number at `out`, and up to ChunkSize bytes of no meaning after it; returns
    // the end of the number.
    char* write(char* out) const {
        const char* const last = TwoDigits.data() + 2 * low_;
        if (digits_ == 0) {  // below 100: one or two digits
            const std::size_t skip = low_ < 10 ? 1 : 0;
            std::memcpy(out, last + skip, 2);
            return out + 2 - skip;
        }
        for (std::size_t done = 0; done < digits_; done += ChunkSize) {
            std::memcpy(out + done, high_.data() + done, ChunkSize);
        }
        std::memcpy(out + digits_, last, 2);
        return out + digits_ + 2;
    }

private:
    // "00" to "99".
    static constexpr std::array<char, 200> TwoDigits = [] {
        std::array<char, 200> text{};
        for (std::size_t i = 0; i < 100; ++i) {
            text[2 * i] = static_cast<char>('0' + i / 10);
            text[2 * i + 1] = static_cast<char>('0' + i % 10);
        }
        return text;
    }();

    // Adds one to the text of the hundreds: to its last digit, with a carry, and a new leading
    // digit when all were 9.
    void carry() {
        for (std::size_t i = digits_; i-- > 0;) {
            if (high_[i] != '9') {
                ++high_[i];
                return;
            }
            high_[i] = '0';
        }
        high_.insert(high_.begin(), '1');
        ++digits_;
    }

    std::size_t low_ = 0;
    std::string high_ = std::string(ChunkSize, '\0');  // the digits, then ChunkSize zero bytes
    std::size_t digits_ = 0;                           // any number: no script can make it overflow
};

// Reads lines from a stream buffer in large blocks, without the per-line work of
// std::getline. A line is handed out without its line feed; the last line needs none. The
// storage of every line has at least ChunkSize readable bytes after its end.
//
// The line feeds of a block are found 64 bytes at a time, as a bit mask (newlineBits64): a
// line then costs a few bit operations, and a short line no search of its own.
class LineReader {
public:
    explicit LineReader(std::streambuf* source)
        : source_(source), block_(std::make_unique_for_overwrite<char[]>(BlockSize + Window)) {}

    // The next line, or false at the end of the input or at a read error (see failed()).
    bool next(std::string_view& line) {
        for (;;) {
            while (feeds_ == 0) {
                window_ += Window;
                if (window_ >= size_) {
                    break;
                }
                feeds_ = newlineBits64(block_.get() + window_);
            }
            if (feeds_ != 0) {
                const std::size_t feed =
                    window_ + static_cast<std::size_t>(std::countr_zero(feeds_));
                feeds_ &= feeds_ - 1;
                const char* const begin = block_.get() + pos_;
                const std::size_t size = feed - pos_;
                pos_ = feed + 1;
                if (carry_.empty()) {
                    line = std::string_view(begin, size);
                } else {
                    carry_.append(begin, size);
                    line = hold();
                }
                return true;
            }
            // No line feed in the rest of the block: keep it and read on.
            carry_.append(block_.get() + pos_, block_.get() + size_);
            if (!refill()) {
                if (failed_ || carry_.empty()) {
                    return false;
                }
                line = hold();
                return true;
            }
        }
    }

    bool failed() const { return failed_; }

private:
    static constexpr std::size_t BlockSize = std::size_t{64} * 1024;
    // The bytes whose line feeds one mask holds. The block has as many zero bytes after its
    // data, so that the last window reads no line feed past the data (and at least ChunkSize).
    static constexpr std::size_t Window = 64;
    static_assert(Window >= ChunkSize && BlockSize % Window == 0);

    // The line put together in carry_, moved to held_ and followed by ChunkSize zero bytes.
    std::string_view hold() {
        held_.swap(carry_);
        carry_.clear();
        const std::size_t size = held_.size();
        held_.append(ChunkSize, '\0');
        return {held_.data(), size};
    }

    bool refill() {
        pos_ = 0;
        size_ = 0;
        window_ = 0;
        feeds_ = 0;
        if (source_ == nullptr || done_) {
            return false;
        }
        std::streamsize got = 0;
        try {
            // Only what the buffer holds or can tell is there: a stream buffer that fails part
            // way reports it by throwing, and nothing copied before that may be lost.
            std::streamsize available = source_->in_avail();
            if (available == 0 && source_->sgetc() != std::char_traits<char>::eof()) {
                available = source_->in_avail();
            }
            if (available > 0) {
                got = source_->sgetn(block_.get(),
                                     std::min(available, static_cast<std::streamsize>(BlockSize)));
            }
        } catch (...) {
            failed_ = true;
            done_ = true;
            return false;
        }
        if (got <= 0) {
            done_ = true;
            return false;
        }
        size_ = static_cast<std::size_t>(got);
        std::memset(block_.get() + size_, 0, Window);
        feeds_ = newlineBits64(block_.get());
        return true;
    }

    std::streambuf* source_;
    std::unique_ptr<char[]> block_;
    std::size_t pos_ = 0;      // where the next line begins
    std::size_t size_ = 0;     // of the data in the block
    std::size_t window_ = 0;   // where the window of feeds_ begins
    std::uint64_t feeds_ = 0;  // the line feeds of the window not handed out yet
    std::string carry_;        // the start of a line that runs past the block
    std::string held_;         // a line put together from several blocks
    bool failed_ = false;
    bool done_ = false;
};

// The transcript on its way out: collected in one block and written out in large pieces, a
// handful of system calls per megabyte. Each script line first reserves room for all it can
// write; the appends after that check nothing, and those of literal text copy a fixed
// number of bytes.
class Transcript {
public:
    explicit Transcript(std::ostream& output)
        : output_(output),
          capacity_(InitialCapacity),
          block_(std::make_unique_for_overwrite<char[]>(capacity_)),
          end_(block_.get()) {}

    // Makes room for `size` more bytes.
    void reserve(std::size_t size) {
        if (capacity_ - used() < size) {
            makeRoom(size);
        }
    }
    void put(std::string_view text) {
        assert(capacity_ - used() >= text.size());
        if (!text.empty()) {
            std::memcpy(end_, text.data(), text.size());
            end_ += text.size();
        }
    }
    void put(char ch) {
        assert(used() < capacity_);
        *end_++ = ch;
    }
    void put(const LineCounter& number) {
        assert(capacity_ - used() >= number.size() + ChunkSize);
        end_ = number.write(end_);
    }
    // put for a text whose storage goes on for ChunkSize bytes after it: copies whole chunks,
    // and so also up to ChunkSize bytes past the text, which later puts overwrite.
    void putChunked(std::string_view text) {
        assert(capacity_ - used() >= text.size() + ChunkSize);
        for (std::size_t done = 0; done < text.size(); done += ChunkSize) {
            std::memcpy(end_ + done, text.data() + done, ChunkSize);
        }
        end_ += text.size();
    }
    // Writes out what is collected once it fills the block.
    void flushIfFull() {
        if (used() >= FlushThreshold) {
            flush();
        }
    }
    void flush() {
        output_.write(block_.get(), static_cast<std::streamsize>(used()));
        end_ = block_.get();
    }

    // Room that any one script line may use besides two copies of its own text and line
    // number: its fixed words, a STATE line, an expect field's value.
    static constexpr std::size_t LineRoom = 1024;

private:
    static constexpr std::size_t FlushThreshold = std::size_t{64} * 1024;
    // A short script never touches more: the block grows to full size as output comes.
    static constexpr std::size_t InitialCapacity = std::size_t{4} * 1024;

    std::size_t used() const { return static_cast<std::size_t>(end_ - block_.get()); }
    void makeRoom(std::size_t size) {
        if (used() + size > FlushThreshold + LineRoom) {
            flush();
        }
        if (capacity_ - used() < size) {
            // A block not grown to full size yet, or a line longer than a full block.
            const std::size_t capacity = std::max(2 * capacity_, used() + size);
            auto grown = std::make_unique_for_overwrite<char[]>(capacity);
            std::memcpy(grown.get(), block_.get(), used());
            end_ = grown.get() + used();
            block_ = std::move(grown);
            capacity_ = capacity;
        }
    }

    std::ostream& output_;
    std::size_t capacity_;
    std::unique_ptr<char[]> block_;
    char* end_;
};

class ScriptRunner;

// A plain event: calls the controller and answers "OK <word>" and a STATE line.
using EventAction = void (Controller::*)();
// Any other command. Returns false to stop reading the script.
using HandlerAction = bool (ScriptRunner::*)(const Tokens& tokens);

// What a short script line comes to, whatever its number, found out when it is read the
// second time: its tokens and command, or that it is rejected and with which message (a
// rejection never depends on the controller's state, and it changes nothing), and for an
// expect its recent verdicts.
struct LinePlan {
    enum class Kind : std::uint8_t { Free, NoTokens, Rejected, Event, Handler, Expect };

    static constexpr std::size_t LongestLine = 32;

    // Whether this is the plan of `line`, whose storage goes on for ChunkSize bytes.
    bool holds(std::string_view line) const {
        return kind != Kind::Free && line.size() == size &&
               sameLeadingBytes32(line.data(), text.data(), size);
    }

    // Takes `line` (at most LongestLine bytes) and its tokens, views into it.
    void record(std::string_view line, const Tokens& tokens) {
        text.fill('\0');
        std::memcpy(text.data(), line.data(), line.size());
        size = line.size();
        tokenCount = tokens.size();
        for (std::size_t i = 0; i < std::min(tokens.size(), Tokens::Capacity); ++i) {
            tokenAt[i] = static_cast<std::uint8_t>(tokens[i].data() - line.data());
            tokenSize[i] = static_cast<std::uint8_t>(tokens[i].size());
        }
    }

    // The tokens as views into `line`, which holds() this plan.
    void tokensOf(std::string_view line, Tokens& tokens) const {
        tokens.clear();
        for (std::size_t i = 0; i < tokenCount; ++i) {
            tokens.push_back(i < Tokens::Capacity ? line.substr(tokenAt[i], tokenSize[i])
                                                  : std::string_view());
        }
    }

    std::array<char, LongestLine> text{};  // the line, zeros after it
    std::size_t size = 0;
    Kind kind = Kind::Free;
    std::size_t tokenCount = 0;
    std::array<std::uint8_t, Tokens::Capacity> tokenAt{};
    std::array<std::uint8_t, Tokens::Capacity> tokenSize{};
    std::string_view word;  // Event: the word answered after "OK "
    EventAction event = nullptr;
    HandlerAction handler = nullptr;
    // Rejected: what follows the line number, line feed included (the longest message and a
    // token of a short line), then ChunkSize bytes of padding.
    std::array<char, 96 + ChunkSize> rejection{};
    std::size_t rejectionSize = 0;
    // Expect: the verdict's text in the states of the last two state codes the line met (a
    // script mostly goes back and forth between a few states).
    struct Verdict {
        std::uint64_t code = 0;
        bool known = false;  // whether the members below are a verdict
        bool pass = false;
        std::size_t headSize = 0;  // the text before the line number: all of it for a pass
        std::size_t size = 0;
        // Room for the longest verdict of a short line (82 bytes), then ChunkSize bytes of
        // padding.
        std::array<char, 96 + ChunkSize> text{};

        void put(std::string_view part) {
            assert(size + part.size() <= text.size() - ChunkSize);
            std::memcpy(text.data() + size, part.data(), part.size());
            size += part.size();
        }
        void put(char ch) { text[size++] = ch; }
        void lineNumber() { headSize = size; }
    };
    std::array<Verdict, 2> verdicts;
    std::size_t olderVerdict = 0;
};

// The plans of the short lines read lately: a script mostly repeats a handful of lines.
// Direct-mapped on a hash of the line's text; a line that meets another in its slot takes it.
class LinePlans {
public:
    // A hash of `line` (at most LinePlan::LongestLine bytes, storage as holds() wants): of
    // its bytes, those past its end cleared, and its size.
    static std::uint64_t hash(std::string_view line) {
        std::uint64_t low = 0;
        std::uint64_t high = 0;
#if defined(__SSE2__)
        // Two blocks, each cleared past the end by a window into 32 set bytes and 32 clear.
        const char* const keep = KeepBytes.data() + LinePlan::LongestLine - line.size();
        const auto load = [](const char* at) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        };
        const __m128i first = _mm_and_si128(load(line.data()), load(keep));
        const __m128i second = _mm_and_si128(load(line.data() + 16), load(keep + 16));
        const __m128i both = _mm_xor_si128(first, _mm_shuffle_epi32(second, 0x4E));
        low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(both));
        high = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(both, both)));
#else
        for (std::size_t i = 0; i < line.size(); ++i) {
            const auto byte = static_cast<std::uint64_t>(static_cast<unsigned char>(line[i]));
            (i % 16 < 8 ? low : high) ^= byte << (8 * (i % 8));
        }
#endif
        // One multiplication mixes every bit into the top ones, which choose the slot. Never
        // 0, which the slots keep for no line.
        return ((low ^ std::rotl(high, 29) ^ line.size()) * 0x9E3779B97F4A7C15U) | 1U;
    }

    // The slot of the lines of `hash`: the hash of the line planned there, the hash of the last
    // line seen there without a plan, and where its plan goes. The hashes are kept apart from
    // the plans, so that a line without one is told so from a small table.
    struct Slot {
        std::uint64_t& planned;
        std::uint64_t& sighted;
        std::size_t index;
    };
    Slot slotOf(std::uint64_t hash) {
        const auto index = static_cast<std::size_t>(hash >> (64 - SlotBits));
        return {planned_[index], sighted_[index], index};
    }
    // The plan made in `slot`.
    LinePlan& plan(const Slot& slot) {
        return *std::launder(reinterpret_cast<LinePlan*>(storage_.get() + Size * slot.index));
    }
    // Whether to look the next short line up. After Patience lookups in a row that found no
    // plan, only one short line in Stride is looked up, until one is found again: a script
    // that never repeats a line then costs next to nothing, and one that starts repeating
    // lines is soon answered from plans again.
    bool lookUpNext() {
        if (skip_ == 0) {
            return true;
        }
        --skip_;
        return false;
    }
    void found() { misses_ = 0; }
    void missed() {
        if (++misses_ >= Patience) {
            skip_ = Stride - 1;
        }
    }

    // A new plan in `slot`, in place of what was there.
    LinePlan& newPlan(const Slot& slot) {
        return *std::construct_at(reinterpret_cast<LinePlan*>(storage_.get() + Size * slot.index));
    }

private:
    // 32 set bytes, then 32 clear ones.
    static constexpr std::array<char, 64> KeepBytes = [] {
        std::array<char, 64> bytes{};
        for (std::size_t i = 0; i < 32; ++i) {
            bytes[i] = static_cast<char>(0xFF);
        }
        return bytes;
    }();
    static constexpr std::size_t Patience = 64;
    static constexpr std::size_t Stride = 16;
    std::size_t misses_ = 0;  // lookups in a row that found no plan
    std::size_t skip_ = 0;    // short lines still to go before the next lookup
    static constexpr unsigned SlotBits = 8;
    static constexpr std::size_t Slots = std::size_t{1} << SlotBits;
    // 0: no line yet. A slot's plan is read only once made, when planned_ holds a hash.
    std::array<std::uint64_t, Slots> planned_{};
    std::array<std::uint64_t, Slots> sighted_{};
    // Room for a plan in each slot, left untouched (and so not even mapped) until a plan is
    // made there: a short script touches a few of them. Plans need no destruction.
    static constexpr std::size_t Size = sizeof(LinePlan);
    static_assert(std::is_trivially_destructible_v<LinePlan>);
    static_assert(alignof(LinePlan) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    std::unique_ptr<std::byte[]> storage_ =
        std::make_unique_for_overwrite<std::byte[]>(Size * Slots);
};

// One entry of the command table, which both dispatches and prints the help text.
struct Command {
    std::string_view word;
    std::string_view alias;        // empty: none
    std::string_view usage;        // the help text's first column; empty: not listed
    std::string_view description;  // the help text's second column
    std::variant<EventAction, HandlerAction> action;
    bool needsClock = false;  // only where the run has a clock to advance ("wait")
};

// The line that judges an expect, written to `out`, which has put(text), put(char) and
// lineNumber(): "EXPECT_OK field=actual", or "EXPECT_FAIL line=N field=... expected=...
// actual=...".
template <typename Out>
void writeVerdict(Out& out, std::string_view field, std::string_view expected,
                  std::string_view actual, bool pass) {
    if (pass) {
        out.put("EXPECT_OK ");
        out.put(field);
        out.put('=');
        out.put(actual);
        out.put('\n');
        return;
    }
    out.put("EXPECT_FAIL line=");
    out.lineNumber();
    out.put(" field=");
    out.put(field);
    out.put(" expected=");
    out.put(expected);
    out.put(" actual=");
    out.put(actual);
    out.put('\n');
}

// The transcript as writeVerdict's output, with the current line's number.
struct TranscriptLine {
    Transcript& transcript;
    const LineCounter& number;
    void put(std::string_view text) { transcript.put(text); }
    void put(char ch) { transcript.put(ch); }
    void lineNumber() { transcript.put(number); }
};

class ScriptRunner {
public:
    ScriptRunner(std::ostream& output, Controller& controller, const ScriptOptions& options);

    // Runs every line of `input` until its end, a read error or "exit"/"quit"; returns
    // whether the run failed.
    bool run(std::istream& input);

    static void writeHelp(std::ostream& out);

private:
    bool help(const Tokens& tokens);
    bool exit(const Tokens& tokens);
    bool status(const Tokens& tokens);
    bool battery(const Tokens& tokens);
    bool chargeTick(const Tokens& tokens);
    bool wait(const Tokens& tokens);
    bool obstacle(const Tokens& tokens);
    bool expect(const Tokens& tokens);
    // Renders, in the state of `code`, the verdict of an expect line with a known field.
    void judge(std::uint64_t code, std::string_view field, std::string_view expected,
               LinePlan::Verdict& verdict);

    static const Command Commands[];

    bool runLine(std::string_view line);
    // A line of any length, parsed afresh. Its command, or null, goes to `command` if given.
    bool runParsed(std::string_view line, const Command** command = nullptr);
    // A short line seen for the second time: parsed and run, and its plan recorded.
    bool runAndPlan(std::string_view line, LinePlan& plan);
    // A short line as its plan says.
    bool runPlanned(std::string_view line, LinePlan& plan);
    // The command of the tokens in tokens_, or null (none, or not a command).
    const Command* parse(std::string_view line);
    // "COMMAND line=... input=..." for a line with tokens, after making room for all of it.
    void echo(std::string_view line);
    // Runs `entry` with the tokens in tokens_.
    bool dispatch(const Command& entry);
    // "OK " and `parts` on one line, then the STATE line.
    void ok(std::initializer_list<std::string_view> parts);
    void error(std::string_view message, std::string_view argument = {});

    std::ostream& output_;
    Controller& controller_;
    const ScriptOptions& options_;
    // The words and aliases of the commands a run knows. One index with "wait", one without.
    using CommandIndex = WordIndex<Command, 64>;
    static const CommandIndex& commandIndex(bool withClock);
    const CommandIndex& index_;
    Transcript transcript_;
    Tokens tokens_;  // views into the current line
    StateLineCache stateLine_;
    FieldReader fields_;
    LineCounter lineNo_;
    LinePlans plans_;
    // The last error's message and argument, and how many errors there have been.
    std::string_view lastMessage_;
    std::string_view lastArgument_;
    std::size_t errors_ = 0;
    bool failed_ = false;
};

// In the order of the help text. A command word matches at most one entry, so the order
// never changes which command runs.
const Command ScriptRunner::Commands[] = {
    {"help", "", "help", "Show this help message", &ScriptRunner::help},
    {"status", "", "status", "Print current controller state", &ScriptRunner::status},
    {"power", "", "power", "Press power button", &Controller::powerButtonPressed},
    {"start", "", "start", "Press start button", &Controller::startButtonPressed},
    {"battery", "set-battery", "battery <0-100>", "Set battery level for simulation setup",
     &ScriptRunner::battery},
    {"charge", "", "charge", "Start battery charging", &Controller::chargeBattery},
    {"charge-tick", "charging-tick", "charge-tick [count]", "Run charging tick one or more times",
     &ScriptRunner::chargeTick},
    {"stop-charge", "stop-charging", "stop-charge", "Stop charging", &Controller::stopCharging},
    {"low-battery", "low", "low-battery", "Trigger low battery detection",
     &Controller::lowBatteryDetected},
    {"clear-low-battery", "clear-low", "clear-low-battery", "Clear low battery mode manually",
     &Controller::lowBatteryCleared},
    {"dust", "", "dust", "Trigger dust detection", &Controller::dustDetected},
    {"timer-expired", "timer_expired", "timer-expired", "Fire timer expiry synchronously",
     &Controller::timerExpiredNow},
    // Not in the help text, whose every byte is fixed: the README documents it.
    {"wait", "", "", "", &ScriptRunner::wait, true},
    {"obstacle", "", "obstacle <front> <left> <right>",
     "Trigger obstacle detection. 1/blocked, 0/clear", &ScriptRunner::obstacle},
    {"expect", "", "expect <field> <value>", "Assert state in CLI script", &ScriptRunner::expect},
    {"exit", "quit", "exit", "Exit simulator", &ScriptRunner::exit},
};

void ScriptRunner::writeHelp(std::ostream& out) {
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
    text +=
        "\n"
        "Expect fields:\n"
        "  power, charging, battery, hasMode, mode, dustSensor, obstacleSensor,\n"
        "  cleaner, cleanerMode, motor, motorForward, motorDirection\n"
        "\n"
        "Examples:\n"
        "  zelk_simulator\n"
        "  zelk_simulator system_tests/tc/TC01_PowerButtonPressed1.zelk\n";
    out << text;
}

bool ScriptRunner::run(std::istream& input) {
    // The stream's own checks (a sentry per read) are done once: the lines come straight
    // from its buffer.
    LineReader reader(input.good() ? input.rdbuf() : nullptr);
    std::string_view line;
    while (reader.next(line)) {
        const bool keepReading = runLine(line);
        transcript_.flushIfFull();
        if (!keepReading) {
            transcript_.flush();
            return failed_;
        }
    }
    if (reader.failed()) {
        // A read error is not the end of the script: the run cannot be judged a pass.
        input.setstate(std::ios::badbit);
        lineNo_.next();
        transcript_.reserve(Transcript::LineRoom + lineNo_.size());
        error(" cannot read script file");
    }
    transcript_.flush();
    return failed_;
}

bool ScriptRunner::runLine(std::string_view line) {
    lineNo_.next();
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
    return tokens_.empty() ? nullptr : index_.find(tokens_[0]);
}

[[gnu::always_inline]] inline void ScriptRunner::echo(std::string_view line) {
    // Everything this line writes: the echo, the argument or field and value of an error
    // (parts of the line, so one more copy of it at most), and the line number twice.
    transcript_.reserve(2 * (line.size() + lineNo_.size()) + Transcript::LineRoom);
    transcript_.put("COMMAND line=");
    transcript_.put(lineNo_);
    transcript_.put(" input=\"");
    transcript_.putChunked(line);
    transcript_.put("\"\n");
}

bool ScriptRunner::dispatch(const Command& entry) {
    if (const auto* event = std::get_if<EventAction>(&entry.action)) {
        (controller_.**event)();
        ok({entry.word});
        return true;
    }
    return (this->*std::get<HandlerAction>(entry.action))(tokens_);
}

bool ScriptRunner::runParsed(std::string_view line, const Command** command) {
    const Command* entry = parse(line);
    if (command != nullptr) {
        *command = entry;
    }
    if (tokens_.empty()) {
        return true;
    }
    echo(line);
    if (entry == nullptr) {
        error(" unknown command: ", tokens_[0]);
        return true;
    }
    return dispatch(*entry);
}

bool ScriptRunner::runAndPlan(std::string_view line, LinePlan& plan) {
    const std::size_t errorsBefore = errors_;
    const Command* entry = nullptr;
    const bool keepReading = runParsed(line, &entry);
    plan.record(line, tokens_);
    if (tokens_.empty()) {
        plan.kind = LinePlan::Kind::NoTokens;
    } else if (errors_ != errorsBefore) {
        // Rejected: the message and argument never depend on more than the line.
        plan.kind = LinePlan::Kind::Rejected;
        const std::size_t size = lastMessage_.size() + lastArgument_.size() + 1;
        assert(size + ChunkSize <= plan.rejection.size());
        // (std::copy: the argument of a message without one is an empty view of no storage.)
        char* const end =
            std::copy(lastMessage_.begin(), lastMessage_.end(), plan.rejection.data());
        *std::copy(lastArgument_.begin(), lastArgument_.end(), end) = '\n';
        plan.rejectionSize = size;
    } else if (const auto* event = std::get_if<EventAction>(&entry->action)) {
        plan.kind = LinePlan::Kind::Event;
        plan.event = *event;
        plan.word = entry->word;
    } else {
        plan.handler = std::get<HandlerAction>(entry->action);
        plan.kind = plan.handler == &ScriptRunner::expect ? LinePlan::Kind::Expect
                                                          : LinePlan::Kind::Handler;
        plan.verdicts[0].known = false;
        plan.verdicts[1].known = false;
    }
    return keepReading;
}

bool ScriptRunner::runPlanned(std::string_view line, LinePlan& plan) {
    switch (plan.kind) {
        case LinePlan::Kind::Rejected:
            echo(line);
            transcript_.put("ERROR line=");
            transcript_.put(lineNo_);
            transcript_.putChunked({plan.rejection.data(), plan.rejectionSize});
            failed_ = true;
            return true;
        case LinePlan::Kind::Event:
            echo(line);
            (controller_.*plan.event)();
            ok({plan.word});
            return true;
        case LinePlan::Kind::Handler:
            plan.tokensOf(line, tokens_);
            echo(line);
            return (this->*plan.handler)(tokens_);
        case LinePlan::Kind::Expect: {
            // A field and a value, both known good: only the verdict may change, with the state.
            echo(line);
            const std::string_view field = line.substr(plan.tokenAt[1], plan.tokenSize[1]);
            const std::uint64_t code = controller_.stateCode();
            LinePlan::Verdict* known = &plan.verdicts[0];
            if (!known->known || known->code != code) {
                known = &plan.verdicts[1];
                if (!known->known || known->code != code) {
                    known = &plan.verdicts[plan.olderVerdict];
                    plan.olderVerdict ^= 1U;
                    judge(code, field, line.substr(plan.tokenAt[2], plan.tokenSize[2]), *known);
                }
            }
            if (options_.expected) {
                options_.expected(field);
            }
            transcript_.putChunked({known->text.data(), known->headSize});
            if (!known->pass) {
                transcript_.put(lineNo_);
                transcript_.putChunked(
                    {known->text.data() + known->headSize, known->size - known->headSize});
                failed_ = true;
            }
            return true;
        }
        case LinePlan::Kind::NoTokens:
        case LinePlan::Kind::Free:
            break;
    }
    return true;
}

ScriptRunner::ScriptRunner(std::ostream& output, Controller& controller,
                           const ScriptOptions& options)
    : output_(output),
      controller_(controller),
      options_(options),
      index_(commandIndex(static_cast<bool>(options.wait))),
      transcript_(output) {}

const ScriptRunner::CommandIndex& ScriptRunner::commandIndex(bool withClock) {
    const auto build = [](bool clock) {
        CommandIndex index;
        for (const Command& entry : Commands) {
            if (entry.needsClock && !clock) {
                continue;
            }
            for (const std::string_view name : {entry.word, entry.alias}) {
                if (!name.empty()) {
                    index.add(name, &entry);
                }
            }
        }
        return index;
    };
    static const CommandIndex plain = build(false);
    static const CommandIndex clocked = build(true);
    return withClock ? clocked : plain;
}

void ScriptRunner::ok(std::initializer_list<std::string_view> parts) {
    transcript_.put("OK ");
    for (const std::string_view part : parts) {
        transcript_.put(part);
    }
    transcript_.put('\n');
    transcript_.putChunked(stateLine_.line(controller_));
}

void ScriptRunner::error(std::string_view message, std::string_view argument) {
    lastMessage_ = message;
    lastArgument_ = argument;
    ++errors_;
    transcript_.put("ERROR line=");
    transcript_.put(lineNo_);
    transcript_.put(message);
    transcript_.put(argument);
    transcript_.put('\n');
    failed_ = true;
}

bool ScriptRunner::help(const Tokens& /*tokens*/) {
    transcript_.flush();
    printHelp(output_);
    return true;
}

bool ScriptRunner::exit(const Tokens& /*tokens*/) { return false; }

bool ScriptRunner::status(const Tokens& /*tokens*/) {
    transcript_.putChunked(stateLine_.line(controller_));
    return true;
}

bool ScriptRunner::battery(const Tokens& tokens) {
    if (tokens.size() != 2) {
        error(" battery command requires one integer level");
        return true;
    }
    int level = 0;
    if (!parseIntToken(tokens[1], level)) {
        error(" invalid battery level: ", tokens[1]);
        return true;
    }
    controller_.setBatteryLevel(level);
    // The level the controller holds, not the one written: the battery clamps it.
    ok({"battery ", NumberText(controller_.batteryLevel()).view()});
    return true;
}

bool ScriptRunner::chargeTick(const Tokens& tokens) {
    int count = 1;
    if (tokens.size() >= 2 && !parseIntToken(tokens[1], count)) {
        error(" invalid tick count: ", tokens[1]);
        return true;
    }
    if (count < 1) {
        error(" tick count must be at least 1");
        return true;
    }
    // Once charging has ended every further tick is a no-op (only "charge" starts it again),
    // so the remaining ticks are skipped: any count returns at once with the same result.
    for (int i = 0; i < count; ++i) {
        controller_.chargingTick();
        if (!controller_.isCharging()) {
            break;
        }
    }
    ok({"charge-tick ", NumberText(count).view()});
    return true;
}

bool ScriptRunner::wait(const Tokens& tokens) {
    if (tokens.size() != 2) {
        error(" wait command requires one duration");
        return true;
    }
    std::chrono::milliseconds duration{};
    if (!parseDurationToken(tokens[1], duration)) {
        error(" invalid wait duration: ", tokens[1]);
        return true;
    }
    options_.wait(duration);
    ok({"wait ", NumberText(duration.count()).view(), "ms"});
    return true;
}

bool ScriptRunner::obstacle(const Tokens& tokens) {
    if (tokens.size() != 4) {
        error(" obstacle command requires front left right values");
        return true;
    }
    bool blocked[3] = {false, false, false};
    for (std::size_t i = 0; i < 3; ++i) {
        if (!parseBoolToken(tokens[i + 1], blocked[i])) {
            // A rejected command applies none of its values.
            error(" invalid obstacle value: ", tokens[i + 1]);
            return true;
        }
    }
    controller_.obstacleDetected(blocked);
    ok({"obstacle front=", boolWord(blocked[0]), " left=", boolWord(blocked[1]),
        " right=", boolWord(blocked[2])});
    return true;
}

bool ScriptRunner::expect(const Tokens& tokens) {
    if (tokens.size() != 3) {
        error(" expect command requires field and value");
        return true;
    }
    NumberBuffer digits;
    const std::optional<std::string_view> actual = fields_.text(controller_, tokens[1], digits);
    if (!actual) {
        error(" unknown expect field: ", tokens[1]);
        return true;
    }
    if (options_.expected) {
        options_.expected(tokens[1]);
    }
    const bool pass = valueMatches(*actual, tokens[2]);
    TranscriptLine out{transcript_, lineNo_};
    writeVerdict(out, tokens[1], tokens[2], *actual, pass);
    failed_ = failed_ || !pass;
    return true;
}

void ScriptRunner::judge(std::uint64_t code, std::string_view field, std::string_view expected,
                         LinePlan::Verdict& verdict) {
    NumberBuffer digits;
    const std::string_view actual = fields_.text(code, field, digits).value_or("");
    verdict.code = code;
    verdict.known = true;
    verdict.pass = valueMatches(actual, expected);
    verdict.size = 0;
    writeVerdict(verdict, field, expected, actual, verdict.pass);
    if (verdict.pass) {
        verdict.headSize = verdict.size;
    }
}
}  // namespace

void printHelp(std::ostream& out) { ScriptRunner::writeHelp(out); }

int runScriptOn(std::istream& input, std::ostream& output, std::string_view scriptPath,
                Controller& controller, const ScriptOptions& options) {
    output << "ZELK Simulator CLI script=" << scriptPath << '\n';
    printStatus(output, controller);
    ScriptRunner runner(output, controller, options);
    const bool failed = runner.run(input);
    output << (failed ? "RESULT FAIL\n" : "RESULT PASS\n");
    output.flush();
    return failed ? 1 : 0;
}

int runScript(std::istream& input, std::ostream& output, std::string_view scriptPath) {
    // The controller goes (and any pending boost expiry with it) after the RESULT line.
    Controller controller;
    return runScriptOn(input, output, scriptPath, controller, ScriptOptions{});
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
