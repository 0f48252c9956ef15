#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "ScriptRunner.hpp"
#include "TestSupport.hpp"
#include <zelk/Controller.hpp>

#include <gtest/gtest.h>

namespace zelk::sim {
namespace {

struct RunResult {
    int status;
    std::string out;
};

RunResult run(const std::string& script) {
    std::istringstream in(script);
    std::ostringstream out;
    const int status = runScript(in, out, "t.zelk");
    return {status, out.str()};
}

RunResult runFile(const std::string& path, std::string* err = nullptr) {
    std::ostringstream out;
    std::ostringstream errors;
    const int status = runScriptFile(path.c_str(), out, errors);
    if (err != nullptr) {
        *err = errors.str();
    }
    return {status, out.str()};
}

// The lines of `text` that start with `prefix`, each with its line feed.
std::string linesStartingWith(const std::string& text, const std::string& prefix) {
    std::istringstream in(text);
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0) {
            found += line + "\n";
        }
    }
    return found;
}

std::string lastLine(const std::string& text) {
    const std::size_t end = text.size() - 1;  // skip the final line feed
    const std::size_t start = text.rfind('\n', end - 1);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - start - 1);
}

// Long transcripts: a failure names the first line that differs, not the whole text.
void expectSameTranscript(const std::string& actual, const std::string& expected) {
    std::istringstream got(actual);
    std::istringstream want(expected);
    std::string gotLine;
    std::string wantLine;
    for (int line = 1; std::getline(want, wantLine); ++line) {
        std::getline(got, gotLine);
        ASSERT_EQ(gotLine, wantLine) << "transcript line " << line;
    }
    EXPECT_TRUE(actual == expected) << "the transcripts differ after the last expected line";
}

const std::string InitialState =
    "STATE power=off charging=off battery=100 hasMode=false mode=Off dustSensor=inactive "
    "obstacleSensor=inactive cleaner=off cleanerMode=off motor=stopped motorForward=false\n";

TEST(ScriptRunnerTest, EmptyAndCommentOnlyScriptsPass) {
    for (const std::string script : {"", "\n\n", "# a comment\n   \n\t# another\n"}) {
        const RunResult r = run(script);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "ZELK Simulator CLI script=t.zelk\n" + InitialState + "RESULT PASS\n");
    }
}

TEST(ScriptRunnerTest, ErrorLinesTable) {
    struct Case {
        const char* line;
        const char* error;
    };
    const Case cases[] = {
        {"battery", "ERROR line=1 battery command requires one integer level\n"},
        {"battery 1 2", "ERROR line=1 battery command requires one integer level\n"},
        {"battery 50%", "ERROR line=1 invalid battery level: 50%\n"},
        {"set-battery 2147483648", "ERROR line=1 invalid battery level: 2147483648\n"},
        {"charge-tick x", "ERROR line=1 invalid tick count: x\n"},
        {"charge-tick 0", "ERROR line=1 tick count must be at least 1\n"},
        {"charge-tick -2", "ERROR line=1 tick count must be at least 1\n"},
        {"charge-tick -2147483648", "ERROR line=1 tick count must be at least 1\n"},
        {"charge-tick 99999999999", "ERROR line=1 invalid tick count: 99999999999\n"},
        {"obstacle 1 0", "ERROR line=1 obstacle command requires front left right values\n"},
        {"obstacle 1 maybe x", "ERROR line=1 invalid obstacle value: maybe\n"},
        {"expect mode", "ERROR line=1 expect command requires field and value\n"},
        {"expect Speed 3", "ERROR line=1 unknown expect field: Speed\n"},
        {"Jump now", "ERROR line=1 unknown command: Jump\n"},
    };
    for (const Case& c : cases) {
        const RunResult r = run(std::string(c.line) + "\nstatus\n");
        EXPECT_EQ(r.status, 1) << c.line;
        EXPECT_EQ(linesStartingWith(r.out, "ERROR"), c.error) << c.line;
        // A rejected command changes nothing, prints no STATE line and does not stop the run.
        EXPECT_EQ(linesStartingWith(r.out, "STATE"), InitialState + InitialState) << c.line;
        EXPECT_EQ(lastLine(r.out), "RESULT FAIL") << c.line;
    }
}

TEST(ScriptRunnerTest, HugeTickCountsReturnAtOnceWithTheSameResult) {
    // Charging ends after at most ten steps; every count beyond that answers alike.
    const std::string setup = "battery 0\ncharge\n";
    const RunResult small = run(setup + "charge-tick 20\n");
    const RunResult huge = run(setup + "charge-tick 2147483647\n");
    EXPECT_EQ(huge.status, 0);
    EXPECT_NE(huge.out.find("OK charge-tick 2147483647\nSTATE power=off charging=off "
                            "battery=100 "),
              std::string::npos)
        << huge.out;
    std::string expected = small.out;
    expected.replace(expected.find("charge-tick 20\""), 14, "charge-tick 2147483647");
    expected.replace(expected.find("OK charge-tick 20"), 17, "OK charge-tick 2147483647");
    EXPECT_EQ(huge.out, expected);
}

TEST(ScriptRunnerTest, CarriageReturnLineEndsAreNotEchoed) {
    const RunResult r = run("power\r\nexpect power on\r\nstatus # note\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(linesStartingWith(r.out, "COMMAND"),
              "COMMAND line=1 input=\"power\"\n"
              "COMMAND line=2 input=\"expect power on\"\n"
              "COMMAND line=3 input=\"status # note\"\n");
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

TEST(ScriptRunnerTest, LastLineWithoutLineFeedStillRuns) {
    const RunResult r = run("power\nexpect mode StandbyMode");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(linesStartingWith(r.out, "EXPECT_OK"), "EXPECT_OK mode=StandbyMode\n");
}

TEST(ScriptRunnerTest, ExitEndsTheRunAndLaterLinesAreNotRead) {
    const RunResult r = run("power\nbogus\nQUIT now\nbogus again\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(linesStartingWith(r.out, "COMMAND"),
              "COMMAND line=1 input=\"power\"\nCOMMAND line=2 input=\"bogus\"\n"
              "COMMAND line=3 input=\"QUIT now\"\n");
    EXPECT_EQ(lastLine(r.out), "RESULT FAIL");
}

TEST(ScriptRunnerTest, NulBytesAndInvalidUtf8AreEchoedAndRejectedAsWords) {
    const std::string line = std::string("po\0wer \xff\xfe", 9);
    const RunResult r = run(line + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("COMMAND line=1 input=\"" + line + "\"\n"), std::string::npos);
    EXPECT_NE(r.out.find("ERROR line=1 unknown command: " + std::string("po\0wer", 6) + "\n"),
              std::string::npos);
}

TEST(ScriptRunnerTest, TenMegabyteLineIsEchoedAndRejected) {
    const std::string word(std::size_t{10} * 1024 * 1024, 'x');
    const RunResult r = run(word + "\npower\nexpect power on\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("ERROR line=1 unknown command: " + word + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("EXPECT_OK power=on\n"), std::string::npos);
}

TEST(ScriptRunnerTest, BatteryLevelsAtAndBeyondIntLimitsAreClamped) {
    struct Case {
        const char* level;
        const char* answer;
    };
    const Case cases[] = {
        {"2147483647", "OK battery 100\n"}, {"-2147483648", "OK battery 0\n"},
        {"150", "OK battery 100\n"},        {"-5", "OK battery 0\n"},
        {"+007", "OK battery 7\n"},
    };
    for (const Case& c : cases) {
        const RunResult r = run(std::string("battery ") + c.level + "\n");
        EXPECT_EQ(r.status, 0) << c.level;
        EXPECT_EQ(linesStartingWith(r.out, "OK"), c.answer) << c.level;
    }
}

TEST(ScriptRunnerTest, HundredThousandDustLinesWhileBoosting) {
    std::string script = "power\nstart\n";
    for (int i = 0; i < 100000; ++i) {
        script += "dust\n";
    }
    script += "expect mode BoostMode\ntimer-expired\nexpect mode NormalMode\n";
    const RunResult r = run(script);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(lastLine(r.out), "RESULT PASS");
}

// A stream whose source fails after some bytes, as a disk or /proc file can.
class FailingBuffer : public std::streambuf {
public:
    explicit FailingBuffer(std::string data) : data_(std::move(data)) {
        setg(data_.data(), data_.data(), data_.data() + data_.size());
    }

protected:
    int_type underflow() override { throw std::ios_base::failure("read error"); }

private:
    std::string data_;
};

TEST(ScriptRunnerTest, ReadErrorPartWayFailsTheRunAtTheUnreadLine) {
    FailingBuffer buffer("power\nexpect power on\n");
    std::istream in(&buffer);
    std::ostringstream out;
    EXPECT_EQ(runScript(in, out, "t.zelk"), 1);
    EXPECT_NE(out.str().find("EXPECT_OK power=on\nERROR line=3 cannot read script file\n"
                             "RESULT FAIL\n"),
              std::string::npos)
        << out.str();
}

TEST(ScriptRunnerTest, UnreadablePathsFailWithoutOutput) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    for (const std::string& path : {std::string("/nonexistent/zelk/script.zelk"), dir.string()}) {
        std::string err;
        const RunResult r = runFile(path, &err);
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.out, "") << path;
        EXPECT_EQ(err, "[ERROR] Cannot open script file: " + path + "\n");
    }
}

TEST(ScriptRunnerTest, ProcSelfMemFailsOnItsFirstRead) {
    std::string err;
    const RunResult r = runFile("/proc/self/mem", &err);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(err, "");
    EXPECT_EQ(r.out, "ZELK Simulator CLI script=/proc/self/mem\n" + InitialState +
                         "ERROR line=1 cannot read script file\nRESULT FAIL\n");
}

TEST(ScriptRunnerTest, UnwritableOutputNeverPasses) {
    std::ostream broken(nullptr);  // every write fails, as on a full disk
    std::ostringstream errors;
    EXPECT_EQ(runScriptFile("/dev/null", broken, errors), 1);
    EXPECT_EQ(errors.str(), "[ERROR] Cannot write output\n");
}

TEST(ScriptRunnerTest, BinaryFileNeverPasses) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "zelk-binary-script.bin";
    {
        std::ofstream file(path, std::ios::binary);
        for (int i = 0; i < 4096; ++i) {
            file.put(static_cast<char>((i * 131 + 7) % 256));
        }
    }
    const RunResult r = runFile(path.string());
    std::filesystem::remove(path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lastLine(r.out), "RESULT FAIL");
}

// A comment starts at the first '#': whatever follows, further '#' included, is ignored.
TEST(ScriptRunnerTest, CommentStartsAtTheFirstHash) {
    const RunResult r =
        run("power # press # it\nexpect power on # first # second\n"
            "expect mode StandbyMode#x#y\n");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(linesStartingWith(r.out, "EXPECT_OK"),
              "EXPECT_OK power=on\nEXPECT_OK mode=StandbyMode\n");
    EXPECT_NE(r.out.find("COMMAND line=2 input=\"expect power on # first # second\"\n"),
              std::string::npos);
}

// Twelve thousand pseudo-random lines, a quarter of a megabyte, so that lines fall across
// every place of the reader's blocks and the line numbers pass 9, 99, 999 and 9999: blank
// lines, comments after any white space, and unknown commands with white space, comments
// and CR line ends around them. The transcript must be exactly what each line calls for.
TEST(ScriptRunnerTest, EveryLineOfALongMixedScriptIsNumberedAndEchoedExactly) {
    PseudoRandom random(2024);
    const auto blanks = [&random](std::uint32_t most) {
        std::string text;
        for (std::uint32_t i = random(most + 1); i > 0; --i) {
            text += random(4) == 0 ? '\t' : ' ';
        }
        return text;
    };
    std::string script;
    std::string expected = "ZELK Simulator CLI script=t.zelk\n" + InitialState;
    for (int number = 1; number <= 12000; ++number) {
        std::string line;
        switch (random(4)) {
            case 0:
                line = blanks(random(8) == 0 ? 70 : 6);
                break;
            case 1:
                line = blanks(40) + "#" + std::string(random(30), random(2) == 0 ? 'c' : ' ');
                break;
            default: {
                const std::string word = "x" + std::to_string(number);
                line = blanks(40) + word + blanks(3) + (random(3) == 0 ? "# note" : "");
                const std::string at = std::to_string(number);
                expected += "COMMAND line=";
                expected += at;
                expected += " input=\"";
                expected += line;
                expected += "\"\nERROR line=";
                expected += at;
                expected += " unknown command: ";
                expected += word;
                expected += '\n';
                break;
            }
        }
        script += line + (random(5) == 0 ? "\r\n" : "\n");
    }
    expected += "RESULT FAIL\n";
    ASSERT_GT(script.size(), std::size_t{4} * 64 * 1024);
    const RunResult r = run(script);
    EXPECT_EQ(r.status, 1);
    expectSameTranscript(r.out, expected);
}

// ---- The wait command, enabled where the run has a clock.

RunResult runWithClock(const std::string& script) {
    std::istringstream in(script);
    std::ostringstream out;
    Controller controller{manualClock};
    ScriptOptions options;
    options.wait = [&](std::chrono::milliseconds d) { controller.advanceClock(d); };
    const int status = runScriptOn(in, out, "t.zelk", controller, options);
    return {status, out.str()};
}

// A script that repeats its lines is answered as one whose lines are all different. The same
// pseudo-random script runs twice on a manual clock: as it is, and with " #N" after line N,
// which makes every line unique; the two transcripts must be the same once the echoes lose
// that comment. Some hundreds of different short lines of every kind (events, commands with
// arguments, expects on every field, rejected lines), so that lines share slots and an
// expect meets many states; and stretches of lines that never repeat.
TEST(ScriptRunnerTest, RepeatedLinesAreAnsweredAsIfEachWereNew) {
    std::vector<std::string> lines = {"power",
                                      "start",
                                      "dust",
                                      "timer-expired",
                                      "low",
                                      "clear-low-battery",
                                      "charge",
                                      "charge-tick 3",
                                      "stop-charge",
                                      "status",
                                      "obstacle 1 0 0",
                                      "obstacle n y n",
                                      "wait 2s",
                                      "wait 5000",
                                      "  start   # again",
                                      "battery",
                                      "battery x y",
                                      "charge-tick 0",
                                      "obstacle 1",
                                      "expect mode",
                                      "expect speed 3",
                                      "jump",
                                      "POWER",
                                      "wait 5x",
                                      "expect power on",
                                      "expect power off",
                                      "expect mode NormalMode",
                                      "expect mode standbymode",
                                      "expect cleanerMode boost",
                                      "expect motorDirection LEFT",
                                      "expect hasMode true",
                                      "expect motor moving",
                                      "expect charging ON",
                                      "expect dustSensor active",
                                      "expect obstacleSensor inactive",
                                      "expect cleaner on",
                                      "expect motorForward true",
                                      "expect modePresent false"};
    for (int level = 0; level <= 300; level += 3) {
        lines.push_back("battery " + std::to_string(level));
        lines.push_back("expect battery " + std::to_string(level));
        lines.push_back("x" + std::to_string(level));
    }
    PseudoRandom random(99);
    std::string repeated;
    std::string unique;
    for (int number = 1; number <= 6000; ++number) {
        // Mostly a few hot lines, as scripts are; sometimes any line; and two stretches of
        // lines that never repeat, after which the runner looks lines up less often.
        const bool neverAgain = (number > 1000 && number <= 1300) || number > 5700;
        const std::uint32_t pick =
            random(4) == 0 ? random(static_cast<std::uint32_t>(lines.size())) : random(40);
        const std::string line =
            neverAgain ? "battery " + std::to_string(1000 + number) : lines[pick];
        repeated += line + "\n";
        unique += line + " #" + std::to_string(number) + "\n";
    }
    const RunResult planned = runWithClock(repeated);
    RunResult fresh = runWithClock(unique);
    // The unique script's echoes without their " #N".
    std::string expected;
    std::istringstream in(fresh.out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("COMMAND ", 0) == 0) {
            const std::size_t mark = line.rfind(" #");
            line = line.substr(0, mark) + "\"";
        }
        expected += line + "\n";
    }
    EXPECT_EQ(planned.status, fresh.status);
    expectSameTranscript(planned.out, expected);
}

// A line read often enough is answered from what its first readings found, but an expect is
// judged again in each state, and its failure alone still fails the run.
TEST(ScriptRunnerTest, ARepeatedExpectThatFailsLateFailsTheRun) {
    const RunResult r =
        run("expect power off\nexpect power off\npower\nexpect power off\n"
            "expect power off\npower\nexpect power off\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(linesStartingWith(r.out, "EXPECT"),
              "EXPECT_OK power=off\nEXPECT_OK power=off\n"
              "EXPECT_FAIL line=4 field=power expected=off actual=on\n"
              "EXPECT_FAIL line=5 field=power expected=off actual=on\n"
              "EXPECT_OK power=off\n");
    EXPECT_EQ(lastLine(r.out), "RESULT FAIL");
}

TEST(ScriptRunnerTest, WaitIsAnUnknownCommandWithoutAClock) {
    const RunResult r = run("wait 5s\nhelp\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(linesStartingWith(r.out, "ERROR"), "ERROR line=1 unknown command: wait\n");
    EXPECT_EQ(r.out.find("wait"), r.out.find("wait 5s")) << "the help text must not mention wait:\n"
                                                         << r.out;
}

TEST(ScriptRunnerTest, WaitAnswersInMillisecondsAndMovesTheClock) {
    const RunResult r = runWithClock(
        "power\nstart\ndust\nwait 4999MS\nexpect mode BoostMode\nWAIT 1\n"
        "expect mode NormalMode\nwait 2s\n");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(linesStartingWith(r.out, "OK wait"), "OK wait 4999ms\nOK wait 1ms\nOK wait 2000ms\n");
    // Each OK line is followed by the STATE line at the new time.
    EXPECT_NE(r.out.find("OK wait 1ms\nSTATE power=on charging=off battery=100 hasMode=true "
                         "mode=NormalMode"),
              std::string::npos)
        << r.out;
}

TEST(ScriptRunnerTest, WaitErrorsChangeNothing) {
    struct Case {
        const char* line;
        const char* error;
    };
    const Case cases[] = {
        {"wait", "ERROR line=4 wait command requires one duration"},
        {"wait 1 2", "ERROR line=4 wait command requires one duration"},
        {"wait 5 s", "ERROR line=4 wait command requires one duration"},
        {"wait 5x", "ERROR line=4 invalid wait duration: 5x"},
        {"wait -5s", "ERROR line=4 invalid wait duration: -5s"},
        {"Wait 2147483648", "ERROR line=4 invalid wait duration: 2147483648"},
        {"wait 9999999S", "ERROR line=4 invalid wait duration: 9999999S"},
    };
    for (const Case& c : cases) {
        const RunResult r = runWithClock("power\nstart\ndust\n" + std::string(c.line) +
                                         "\nexpect mode BoostMode\n");
        EXPECT_EQ(r.status, 1) << c.line;
        EXPECT_EQ(linesStartingWith(r.out, "ERROR"), std::string(c.error) + "\n") << c.line;
        EXPECT_EQ(linesStartingWith(r.out, "EXPECT_"), "EXPECT_OK mode=BoostMode\n")
            << c.line << ": the rejected wait moved the clock";
    }
}

}  // namespace
}  // namespace zelk::sim
