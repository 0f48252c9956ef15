#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ext/stdio_filebuf.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "LinePlans.hpp"
#include "LineReader.hpp"
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

// ---- Hostile input: a line has a bound.

// An endless stream of one byte and no line feed, as /dev/zero is, generated as it is read.
class EndlessBuffer : public std::streambuf {
public:
    EndlessBuffer(std::string head, char byte) : head_(std::move(head)), chunk_(65536, byte) {
        setg(head_.data(), head_.data(), head_.data() + head_.size());
    }

protected:
    int_type underflow() override {
        setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
        return traits_type::to_int_type(chunk_[0]);
    }

private:
    std::string head_;
    std::string chunk_;
};

// One ERROR line for the line too long, no echo of its text, and no reading after it.
TEST(ScriptRunnerTest, ALineTooLongEndsTheRunWithOneErrorLine) {
    for (const char byte : {'\0', 'x', ' '}) {
        EndlessBuffer endless("power\nexpect power on\n", byte);
        std::istream in(&endless);
        std::ostringstream out;
        EXPECT_EQ(runScript(in, out, "t.zelk"), 1);
        const std::string text = out.str();
        EXPECT_LT(text.size(), 2000U) << "the long line is not echoed";
        EXPECT_NE(text.find("EXPECT_OK power=on\nERROR line=3 line too long\nRESULT FAIL\n"),
                  std::string::npos)
            << text.substr(0, 2000);
        EXPECT_EQ(text.find("COMMAND line=3"), std::string::npos);
    }
}

TEST(ScriptRunnerTest, TheLongestLineStillRuns) {
    const std::string word(LineReader::MaxLineSize, 'w');
    const RunResult r = run(word + "\npower\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("ERROR line=1 unknown command: " + word + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("OK power\n"), std::string::npos);
}

// ---- The OK line of an obstacle names each flag as parsed.

TEST(ScriptRunnerTest, ObstacleAnswerNamesEachFlagInItsPlace) {
    struct Case {
        const char* line;
        const char* answer;
    };
    const Case cases[] = {
        {"obstacle 0 1 0", "OK obstacle front=false left=true right=false\n"},
        {"obstacle 0 0 1", "OK obstacle front=false left=false right=true\n"},
        {"obstacle blocked clear no", "OK obstacle front=true left=false right=false\n"},
        {"obstacle n Y on", "OK obstacle front=false left=true right=true\n"},
    };
    for (const Case& c : cases) {
        const RunResult r = run(std::string(c.line) + "\n");
        EXPECT_EQ(linesStartingWith(r.out, "OK"), c.answer) << c.line;
    }
}

// ---- Scripts from pipes.

// A script read from a pipe (zelk_simulator <(generate), /dev/stdin) is read whole, even
// when its bytes come later than the first read.
TEST(ScriptRunnerTest, ScriptFromAPipeIsReadWhole) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::thread writer([fd = fds[1]] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::string script = "power\nexpect power on\nstart\n";
        ASSERT_EQ(::write(fd, script.data(), script.size()), static_cast<ssize_t>(script.size()));
        ::close(fd);
    });
    const RunResult r = runFile("/dev/fd/" + std::to_string(fds[0]));
    writer.join();
    ::close(fds[0]);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(linesStartingWith(r.out, "OK"), "OK power\nOK start\n") << r.out;
    EXPECT_EQ(linesStartingWith(r.out, "EXPECT_OK"), "EXPECT_OK power=on\n");
}

// A boost begun by a script ends by itself once its time has passed in real time, also
// while the runner waits for the next line of a pipe; before then it goes on.
TEST(ScriptRunnerTest, ABoostEndsInRealTimeWhileTheScriptWaits) {
    using namespace std::chrono_literals;
    constexpr auto Boost = 1000ms;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::thread writer([fd = fds[1], Boost] {
        const auto send = [fd](const std::string& text) {
            ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        };
        send("power\nstart\ndust\nexpect mode BoostMode\n");
        std::this_thread::sleep_for(Boost / 5);
        send("expect mode BoostMode\n");
        std::this_thread::sleep_for(Boost + Boost / 5);
        send("expect mode NormalMode\nexpect cleanerMode normal\n");
        ::close(fd);
    });
    __gnu_cxx::stdio_filebuf<char> pipe(fds[0], std::ios::in);
    std::istream in(&pipe);
    std::ostringstream out;
    const int status = runScript(in, out, "pipe", Boost);
    writer.join();
    EXPECT_EQ(status, 0) << out.str();
    EXPECT_EQ(linesStartingWith(out.str(), "EXPECT_OK"),
              "EXPECT_OK mode=BoostMode\nEXPECT_OK mode=BoostMode\nEXPECT_OK mode=NormalMode\n"
              "EXPECT_OK cleanerMode=normal\n");
}

// ---- Line plans at their bounds.

// Lines of the longest plannable length, and one byte longer, that differ only in their last
// byte: each repeat is answered as that line, not as its neighbour.
TEST(ScriptRunnerTest, PlannedLinesAtTheLongestLengthAreToldApartByTheirLastByte) {
    for (const std::size_t size : {LinePlan::LongestLine, LinePlan::LongestLine + 1}) {
        const std::string stem = "x" + std::string(size - 2, 'y');
        const std::string a = stem + "a";
        const std::string b = stem + "b";
        std::string script;
        std::string errors;
        for (int i = 1; i <= 12; ++i) {
            const std::string& line = i % 3 == 0 ? b : a;
            script += line + "\n";
            errors += "ERROR line=" + std::to_string(i) + " unknown command: " + line + "\n";
        }
        const RunResult r = run(script);
        EXPECT_EQ(linesStartingWith(r.out, "ERROR"), errors) << size << " bytes";
    }
}

// Short lines whose answers are the longest a short line can have (a long argument in an
// error, a long expected value, a long unknown word) keep their exact transcript on every
// repeat, in every state they meet.
TEST(ScriptRunnerTest, ShortLinesWithLongAnswersRepeatExactly) {
    const std::vector<std::string> lines = {
        "battery 1234567890123456789012",      // 32 bytes: an invalid level of 22 characters
        "expect mode L0wBatteryModeXXXXXXXX",  // longer than a plan: parsed each time
        "expect mode LowBatteryModeXXXXXXX",   // 33
        "expect mode LowBatteryModeXXXXXX",    // 32: fails with the longest mode name
        "expect hasMode 123456789012345",      // 30
        "obstacle 1 0 2345678901234567890",    // 32
        "charge-tick 12345678901234567890",    // 32
        "qwertyuiopasdfghjklzxcvbnmqwerty",    // 32: an unknown word
        "low",
        "clear-low",
        "power",
    };
    std::string repeated;
    std::string unique;
    for (int round = 0; round < 6; ++round) {
        for (const std::string& line : lines) {
            repeated += line + "\n";
        }
    }
    // The same script with every line unique: a comment makes it too long to plan.
    std::istringstream in(repeated);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        unique += line + " #" + std::string(40, 'u') + std::to_string(++number) + "\n";
    }
    const RunResult planned = run(repeated);
    const RunResult fresh = run(unique);
    std::string expected;
    std::istringstream freshLines(fresh.out);
    for (std::string line; std::getline(freshLines, line);) {
        if (line.rfind("COMMAND ", 0) == 0) {
            line = line.substr(0, line.rfind(" #")) + "\"";
        }
        expected += line + "\n";
    }
    EXPECT_EQ(planned.status, fresh.status);
    expectSameTranscript(planned.out, expected);
}

// ---- The hooks a caller such as zelk_suite takes a run's facts from.

TEST(ScriptRunnerTest, HooksAreToldTheFirstLineEachProblemAndEachBlock) {
    std::string firstLine;
    std::vector<std::pair<std::uint64_t, std::string>> problems;
    std::vector<std::string> asserted;
    int blocks = 0;
    ScriptOptions options;
    options.firstLine = [&](std::string_view line) { firstLine = line; };
    options.problem = [&](std::uint64_t line, std::string_view text) {
        problems.emplace_back(line, text);
    };
    options.expected = [&](std::string_view field) { asserted.emplace_back(field); };
    options.keepTime = [&] { ++blocks; };
    // Each problem twice and more, so that planned lines are told as well.
    std::string script = "# Expected result: FAIL\n";
    for (int i = 0; i < 3; ++i) {
        script += "jump\nexpect Mode StandbyMode\nbattery x\n";
    }
    std::istringstream in(script);
    std::ostringstream out;
    Controller controller;
    EXPECT_EQ(runScriptOn(in, out, "t.zelk", controller, options), 1);
    EXPECT_EQ(firstLine, "# Expected result: FAIL");
    std::vector<std::pair<std::uint64_t, std::string>> expected;
    for (std::uint64_t at = 2; at <= 8; at += 3) {
        expected.emplace_back(at, "ERROR line=" + std::to_string(at) + " unknown command: jump");
        expected.emplace_back(at + 1, "EXPECT_FAIL line=" + std::to_string(at + 1) +
                                          " field=Mode expected=StandbyMode actual=Off");
        expected.emplace_back(at + 2,
                              "ERROR line=" + std::to_string(at + 2) + " invalid battery level: x");
    }
    EXPECT_EQ(problems, expected);
    EXPECT_EQ(asserted, (std::vector<std::string>{"Mode", "Mode", "Mode"}));
    EXPECT_EQ(blocks, 1);
}

}  // namespace
}  // namespace zelk::sim
