#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "LineReader.hpp"
#include "Suite.hpp"
#include "reports/Reports.hpp"

#include <gtest/gtest.h>

namespace zelk::suite {
namespace {

namespace fs = std::filesystem;

// A fresh folder for one test, removed afterwards.
class SuiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("zelk-suite-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string write(const std::string& relative, const std::string& text) {
        const fs::path path = root_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    fs::path root_;
};

ScriptResult runText(const std::string& text) {
    return runScriptText({"s.zelk", "s"}, text, false, nullptr, nullptr);
}

TEST_F(SuiteTest, VerdictIsPassWhenTheResultIsTheExpectedOne) {
    struct Case {
        const char* script;
        bool expectFailure;
        bool resultPass;
        bool passed;
    };
    const Case cases[] = {
        {"power\nexpect power on\n", false, true, true},
        {"power\nexpect power off\n", false, false, false},
        {"# Expected result: FAIL\npower\nexpect power off\n", true, false, true},
        {"# Expected result: FAIL\npower\nexpect power on\n", true, true, false},
        {"# Expected result: FAIL, with a reason\nbogus\n", true, false, true},
        // Only the first line carries the marker, exactly as written.
        {"\n# Expected result: FAIL\nbogus\n", false, false, false},
        {"#Expected result: FAIL\nbogus\n", false, false, false},
        {"# expected result: fail\nbogus\n", false, false, false},
        {"", false, true, true},
    };
    for (const Case& c : cases) {
        const ScriptResult r = runText(c.script);
        EXPECT_EQ(r.expectFailure, c.expectFailure) << c.script;
        EXPECT_EQ(r.resultPass, c.resultPass) << c.script;
        EXPECT_EQ(r.passed, c.passed) << c.script;
    }
}

TEST_F(SuiteTest, ProblemsAreTheErrorAndExpectFailLinesWithTheirLineNumbers) {
    const ScriptResult r = runText(
        "# a comment\npower\njump\nexpect mode NormalMode\nbattery x\n"
        "# ERROR line=99 in a comment is echoed, not reported\n");
    ASSERT_EQ(r.problems.size(), 3U);
    EXPECT_EQ(r.problems[0].line, 3);
    EXPECT_EQ(r.problems[0].text, "ERROR line=3 unknown command: jump");
    EXPECT_EQ(r.problems[1].line, 4);
    EXPECT_EQ(r.problems[1].text,
              "EXPECT_FAIL line=4 field=mode expected=NormalMode actual=StandbyMode");
    EXPECT_EQ(r.problems[2].line, 5);
}

TEST_F(SuiteTest, DiscoverySortsRecursesAndNamesTranscripts) {
    write("b/two.zelk", "");
    write("a/one.zelk", "");
    write("a/deep/three.zelk", "");
    write("a/notes.txt", "");
    fs::create_directories(root_ / "a" / "folder.zelk");  // a directory, not a script
    const std::string direct = write("single.zelk", "");

    const Discovery found = discoverScripts({direct, root_.string(), direct});
    std::vector<std::string> paths;
    std::vector<std::string> names;
    for (const ScriptEntry& entry : found.scripts) {
        paths.push_back(fs::path(entry.path).lexically_relative(root_).generic_string());
        names.push_back(entry.transcriptName);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"a/deep/three.zelk", "a/one.zelk", "b/two.zelk",
                                               "single.zelk"}));
    // Relative to the directory argument; a script named directly keeps its file name.
    EXPECT_EQ(names, (std::vector<std::string>{"a/deep/three", "a/one", "b/two", "single"}));
    EXPECT_TRUE(found.errors.empty());
}

TEST_F(SuiteTest, ShardsAreDisjointAndTogetherTheWholeSuite) {
    std::vector<ScriptEntry> scripts;
    scripts.reserve(10);
    for (int i = 0; i < 10; ++i) {
        scripts.push_back({"s" + std::to_string(i), ""});
    }
    for (std::size_t count : {1U, 3U, 4U, 10U, 13U}) {
        std::vector<std::string> all;
        for (std::size_t index = 1; index <= count; ++index) {
            for (const ScriptEntry& e : shard(scripts, index, count)) {
                all.push_back(e.path);
            }
        }
        std::vector<std::string> expected;
        expected.reserve(scripts.size());
        for (const ScriptEntry& e : scripts) {
            expected.push_back(e.path);
        }
        EXPECT_EQ(all, expected) << count << " shards";
    }
}

// A hostile suite: a script that cannot be opened, thousands of scripts, and one with
// 100,000 dust lines and a long wait. Every script gets a result, in order.
TEST_F(SuiteTest, HostileSuiteGetsClearReportsAndLosesNothing) {
    constexpr int Many = 3000;
    for (int i = 0; i < Many; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "many/s%05d.zelk", i);
        write(name, i % 2 == 0 ? "power\nexpect mode StandbyMode\n" : "power\nexpect power off\n");
    }
    std::string heavy = "power\nstart\n";
    for (int i = 0; i < 100000; ++i) {
        heavy += "dust\n";
    }
    heavy += "wait 2147483647\nexpect mode NormalMode\n";
    const std::string heavyPath = write("heavy.zelk", heavy);
    fs::create_symlink(root_ / "nowhere", root_ / "dangling.zelk");
    const std::string missing = (root_ / "missing.zelk").string();

    const Discovery found = discoverScripts({root_.string(), missing});
    ASSERT_EQ(found.scripts.size(), static_cast<std::size_t>(Many + 2));
    ASSERT_EQ(found.errors.size(), 1U);
    EXPECT_EQ(found.errors[0].reason, "not a script: a dangling link");
    SuiteOptions options;
    options.jobs = 4;
    options.coverage = true;
    const SuiteRun run = runSuite(found.scripts, options);
    const std::vector<ScriptResult>& results = run.results;
    ASSERT_EQ(results.size(), found.scripts.size());

    int passed = 0;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const ScriptResult& r = results[i];
        EXPECT_EQ(r.path, found.scripts[i].path) << "results out of order";
        if (r.path == heavyPath) {
            EXPECT_TRUE(r.passed);
        } else if (r.path == missing) {
            EXPECT_FALSE(r.opened) << r.path;
            EXPECT_FALSE(r.passed) << r.path;
            EXPECT_EQ(r.openError, "No such file or directory") << r.path;
        }
        passed += r.passed ? 1 : 0;
    }
    EXPECT_EQ(passed, Many / 2 + 1);
    // Every dust after the first found the cleaner boosting; each script pressed power once.
    EXPECT_EQ(run.coverage.pairs[6][7].hits, 99999U);
    EXPECT_EQ(run.coverage.pairs[0][0].hits, static_cast<std::uint64_t>(Many + 1));
}

TEST_F(SuiteTest, TranscriptsAreWrittenUnderTheirNames) {
    write("d/sub/x.zelk", "power\n");
    SuiteOptions options;
    options.transcriptDir = (root_ / "out").string();
    const Discovery found = discoverScripts({(root_ / "d").string()});
    const std::vector<ScriptResult> results = runSuite(found.scripts, options).results;
    ASSERT_EQ(results.size(), 1U);
    EXPECT_TRUE(results[0].passed);
    std::ifstream in(root_ / "out" / "sub" / "x.out");
    std::ostringstream whole;
    whole << in.rdbuf();
    const std::string text = whole.str();
    EXPECT_EQ(text.rfind("ZELK Simulator CLI script=" + found.scripts[0].path + "\n", 0), 0U)
        << text;
    EXPECT_TRUE(text.ends_with("RESULT PASS\n")) << text;
}

TEST_F(SuiteTest, TranscriptThatCannotBeWrittenFailsTheScript) {
    const std::string script = write("ok.zelk", "power\n");
    write("blocker", "a file where a folder should be");
    SuiteOptions options;
    options.transcriptDir = (root_ / "blocker" / "out").string();
    const std::vector<ScriptResult> results = runSuite({{script, "ok"}}, options).results;
    ASSERT_EQ(results.size(), 1U);
    EXPECT_TRUE(results[0].resultPass);
    EXPECT_FALSE(results[0].passed) << "a lost transcript must not pass silently";
    EXPECT_NE(results[0].transcriptError.find("blocker"), std::string::npos)
        << results[0].transcriptError;
}

TEST_F(SuiteTest, ProgressIsReportedOncePerScriptWithARisingCount) {
    std::vector<ScriptEntry> scripts;
    scripts.reserve(20);
    for (int i = 0; i < 20; ++i) {
        scripts.push_back({write("p" + std::to_string(i) + ".zelk", "power\n"), ""});
    }
    std::vector<std::size_t> seen;
    SuiteOptions options;
    options.jobs = 3;
    options.progress = [&](std::size_t done, std::size_t total, const ScriptResult& result) {
        EXPECT_EQ(total, scripts.size());
        EXPECT_TRUE(result.passed) << result.path;
        seen.push_back(done);
    };
    runSuite(scripts, options);
    ASSERT_EQ(seen.size(), scripts.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i], i + 1);
    }
}

// A script with many problems keeps only the first few, and counts the rest; the report and
// the JUnit failure show the same.
TEST_F(SuiteTest, ProblemLinesAreBoundedAndTheRestCounted) {
    std::string script;
    for (int i = 0; i < 10; ++i) {
        script += "jump\n";
    }
    const std::string path = write("many.zelk", script);
    SuiteOptions options;
    options.maxProblems = 3;
    const SuiteRun run = runSuite({{path, "many"}}, options);
    ASSERT_EQ(run.results.size(), 1U);
    const ScriptResult& r = run.results[0];
    ASSERT_EQ(r.problems.size(), 3U);
    EXPECT_EQ(r.problems[2].line, 3U);
    EXPECT_EQ(r.moreProblems, 7U);
    EXPECT_TRUE(problemLines(r).ends_with(path + ":3: ERROR line=3 unknown command: jump\n"
                                                 "... and 7 more\n"))
        << problemLines(r);
    std::ostringstream junit;
    writeJunit(junit, run.results, {}, 1);
    EXPECT_NE(junit.str().find("... and 7 more"), std::string::npos) << junit.str();
    EXPECT_EQ(junit.str().find("line=4"), std::string::npos) << junit.str();

    options.maxProblems = 0;
    const ScriptResult none = runSuite({{path, "many"}}, options).results[0];
    EXPECT_TRUE(none.problems.empty());
    EXPECT_EQ(none.moreProblems, 10U);
}

// A FIFO named as an argument is a script: it is read as it is written, to its end.
TEST_F(SuiteTest, NamedFifoRunsAsAScript) {
    const std::string fifo = (root_ / "piped.zelk").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&fifo] {
        std::ofstream out(fifo, std::ios::binary);
        out << "power\n" << std::flush;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        out << "expect power on\njump\n";
    });
    const Discovery found = discoverScripts({fifo});
    ASSERT_EQ(found.scripts.size(), 1U);
    const ScriptResult r = runSuite(found.scripts, SuiteOptions{}).results[0];
    writer.join();
    EXPECT_TRUE(r.opened);
    EXPECT_FALSE(r.passed);
    ASSERT_EQ(r.problems.size(), 1U);
    EXPECT_EQ(r.problems[0].text, "ERROR line=3 unknown command: jump");
}

// A directory's *.zelk that is not a regular file is never opened, and is reported.
TEST_F(SuiteTest, DirectoryEntriesThatAreNoScriptsAreReportedNotOpened) {
    write("d/ok.zelk", "power\n");
    ASSERT_EQ(::mkfifo((root_ / "d" / "fifo.zelk").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", root_ / "d" / "null.zelk");
    fs::create_symlink(root_ / "d" / "ok.zelk", root_ / "d" / "link.zelk");
    fs::create_symlink(root_ / "gone", root_ / "d" / "dangling.zelk");
    const Discovery found = discoverScripts({(root_ / "d").string()});
    std::vector<std::string> scripts;
    for (const ScriptEntry& entry : found.scripts) {
        scripts.push_back(fs::path(entry.path).filename().string());
    }
    EXPECT_EQ(scripts, (std::vector<std::string>{"link.zelk", "ok.zelk"}));
    std::vector<std::string> errors;
    for (const DiscoveryError& error : found.errors) {
        errors.push_back(fs::path(error.path).filename().string() + ": " + error.reason);
    }
    EXPECT_EQ(errors, (std::vector<std::string>{"dangling.zelk: not a script: a dangling link",
                                                "fifo.zelk: not a script: a FIFO",
                                                "null.zelk: not a script: a character device"}));
}

// A script with a line longer than the runner's bound fails with that reason, even one that
// is expected to fail.
TEST_F(SuiteTest, ALineTooLongFailsTheScriptWithItsReason) {
    const std::string path =
        write("long.zelk", "# Expected result: FAIL\npower\n" +
                               std::string(sim::LineReader::MaxLineSize + 1, 'x') + "\n");
    const ScriptResult r = runSuite({{path, "long"}}, SuiteOptions{}).results[0];
    EXPECT_FALSE(r.passed);
    EXPECT_EQ(r.stopReason,
              "line 3 is longer than the longest line a script may have (16777216 bytes)");
    ASSERT_EQ(r.problems.size(), 1U);
    EXPECT_EQ(r.problems[0].text, "ERROR line=3 line too long");
    EXPECT_EQ(failureSummary(r), r.stopReason);
}

// ---- Snapshots

std::string readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every mode, from each starting point: no snapshot, the right one, a wrong one.
TEST_F(SuiteTest, SnapshotModes) {
    const std::string script = write("d/s.zelk", "power\nexpect power on\n");
    const std::string snapshot = (root_ / "d" / "s.out").string();
    std::string right;
    runScriptText({"s.zelk", "s"}, "power\nexpect power on\n", false, nullptr, &right);
    const std::string wrong = right.substr(0, right.size() - 12) + "RESULT FAIL\n";
    enum Start { None, Right, Wrong };
    struct Case {
        SnapshotMode mode;
        Start start;
        bool passed;
        SnapshotStatus status;
        Start after;  // what the snapshot file holds afterwards
    };
    const Case cases[] = {
        {SnapshotMode::Check, None, true, SnapshotStatus::None, None},
        {SnapshotMode::Check, Right, true, SnapshotStatus::Matched, Right},
        {SnapshotMode::Check, Wrong, false, SnapshotStatus::Differs, Wrong},
        {SnapshotMode::Require, None, false, SnapshotStatus::Failed, None},
        {SnapshotMode::Require, Right, true, SnapshotStatus::Matched, Right},
        {SnapshotMode::New, None, true, SnapshotStatus::Written, Right},
        {SnapshotMode::New, Wrong, false, SnapshotStatus::Differs, Wrong},
        {SnapshotMode::All, None, true, SnapshotStatus::Written, Right},
        {SnapshotMode::All, Right, true, SnapshotStatus::Matched, Right},
        {SnapshotMode::All, Wrong, true, SnapshotStatus::Updated, Right},
        {SnapshotMode::Ignore, Wrong, true, SnapshotStatus::None, Wrong},
    };
    for (const Case& c : cases) {
        const std::string name = std::to_string(static_cast<int>(c.mode)) + "/" +
                                 std::to_string(static_cast<int>(c.start));
        fs::remove(snapshot);
        if (c.start != None) {
            std::ofstream(snapshot, std::ios::binary) << (c.start == Right ? right : wrong);
        }
        SuiteOptions options;
        options.snapshots = c.mode;
        const ScriptResult r =
            runSuite(discoverScripts({(root_ / "d").string()}).scripts, options).results.at(0);
        EXPECT_EQ(r.passed, c.passed) << name;
        EXPECT_EQ(r.snapshot, c.status) << name;
        EXPECT_EQ(fs::exists(snapshot), c.after != None) << name;
        if (c.after != None) {
            EXPECT_EQ(readWhole(snapshot), c.after == Right ? right : wrong) << name;
        }
        if (c.status == SnapshotStatus::Differs) {
            EXPECT_EQ(r.snapshotProblem, "transcript differs from s.out") << name;
            EXPECT_EQ(failureSummary(r), "transcript differs from s.out") << name;
            ASSERT_GE(r.snapshotDiff.size(), 3U) << name;
            EXPECT_EQ(r.snapshotDiff[0], "--- s.out");
            EXPECT_NE(std::find(r.snapshotDiff.begin(), r.snapshotDiff.end(), "+RESULT PASS"),
                      r.snapshotDiff.end())
                << name;
        }
        if (c.status == SnapshotStatus::Failed) {
            EXPECT_EQ(r.snapshotProblem, "no snapshot s.out") << name;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "d"), fs::directory_iterator()),
                  c.after != None ? 2 : 1)
            << name << ": a temporary file was left behind";
    }
}

// A snapshot names the script by its file name: however the path is spelled, and from
// whichever folder the suite runs, it matches.
TEST_F(SuiteTest, SnapshotsDoNotDependOnThePathsSpelling) {
    write("d/s.zelk", "power\n");
    SuiteOptions write;
    write.snapshots = SnapshotMode::New;
    ASSERT_EQ(
        runSuite(discoverScripts({(root_ / "d").string()}).scripts, write).results.at(0).snapshot,
        SnapshotStatus::Written);
    EXPECT_TRUE(readWhole(root_ / "d" / "s.out").starts_with("ZELK Simulator CLI script=s.zelk\n"));
    const fs::path before = fs::current_path();
    fs::current_path(root_);
    SuiteOptions require;
    require.snapshots = SnapshotMode::Require;
    for (const std::string& spelling : {(root_ / "d" / "s.zelk").string(), std::string("d/s.zelk"),
                                        std::string("./d//s.zelk"), std::string("d/../d/s.zelk")}) {
        const ScriptResult r = runSuite(discoverScripts({spelling}).scripts, require).results[0];
        EXPECT_EQ(r.snapshot, SnapshotStatus::Matched) << spelling;
        EXPECT_TRUE(r.passed) << spelling;
    }
    fs::current_path(before);
}

// Snapshots that cannot be read or written fail their script with a clear message and are
// left as they were; the other scripts run.
TEST_F(SuiteTest, SnapshotsThatCannotBeReadOrWrittenFailClearly) {
    write("d/a_read_error.zelk", "power\n");
    fs::create_symlink("/proc/self/mem", root_ / "d" / "a_read_error.out");
    write("d/b_directory.zelk", "power\n");
    fs::create_directories(root_ / "d" / "b_directory.out" / "inside");
    const std::string longName(240, 'n');
    write("d/c_" + longName + ".zelk", "power\n");
    write("d/d_fine.zelk", "power\n");
    SuiteOptions options;
    options.snapshots = SnapshotMode::All;
    const std::vector<ScriptResult> results =
        runSuite(discoverScripts({(root_ / "d").string()}).scripts, options).results;
    ASSERT_EQ(results.size(), 4U);
    EXPECT_EQ(results[0].snapshot, SnapshotStatus::Failed);
    EXPECT_TRUE(results[0].snapshotProblem.starts_with("cannot read snapshot a_read_error.out: "))
        << results[0].snapshotProblem;
    EXPECT_EQ(results[1].snapshotProblem, "snapshot b_directory.out is a directory");
    EXPECT_TRUE(fs::exists(root_ / "d" / "b_directory.out" / "inside"));
    EXPECT_EQ(results[2].snapshotProblem,
              "cannot write snapshot c_" + longName + ".out: File name too long");
    EXPECT_FALSE(results[0].passed || results[1].passed || results[2].passed);
    EXPECT_TRUE(results[3].passed);
    EXPECT_EQ(results[3].snapshot, SnapshotStatus::Written);
}

TEST_F(SuiteTest, ObsoleteSnapshotsAreFoundBesideNoScript) {
    write("d/kept.zelk", "power\n");
    write("d/kept.out", "");
    write("d/gone.out", "");
    write("d/sub/also_gone.out", "");
    write("d/.out", "");  // a hidden file, not the snapshot of a script named ''
    const Discovery found = discoverScripts({(root_ / "d").string()});
    EXPECT_EQ(found.obsoleteSnapshots,
              (std::vector<std::string>{(root_ / "d" / "gone.out").string(),
                                        (root_ / "d" / "sub" / "also_gone.out").string()}));
}

// With fail-fast, no script starts after the first one that does not pass; the rest are
// skipped, in order.
TEST_F(SuiteTest, FailFastSkipsTheScriptsNotStarted) {
    for (int i = 0; i < 6; ++i) {
        write("d/s" + std::to_string(i) + ".zelk", i == 2 ? "jump\n" : "power\n");
    }
    SuiteOptions options;
    options.failFast = true;
    const std::vector<ScriptResult> results =
        runSuite(discoverScripts({(root_ / "d").string()}).scripts, options).results;
    std::vector<int> kinds;  // 0 passed, 1 failed, 2 skipped
    kinds.reserve(results.size());
    for (const ScriptResult& r : results) {
        kinds.push_back(r.skipped ? 2 : r.passed ? 0 : 1);
    }
    EXPECT_EQ(kinds, (std::vector<int>{0, 0, 1, 2, 2, 2}));
    std::ostringstream junit;
    writeJunit(junit, results, {}, 1, 3);
    EXPECT_NE(junit.str().find("skipped=\"3\""), std::string::npos);
    EXPECT_NE(junit.str().find("<skipped message="), std::string::npos);
}

// With real time, a boost ends on the controller's own timer thread while wait sleeps.
TEST_F(SuiteTest, RealTimeRunUsesTheRealTimerAndSleeps) {
    const auto start = std::chrono::steady_clock::now();
    const ScriptResult r =
        runScriptText({"r.zelk", "r"},
                      "power\nstart\ndust\nwait 4500ms\nexpect mode BoostMode\nwait 1s\n"
                      "expect mode NormalMode\n",
                      true, nullptr, nullptr);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5500));
    EXPECT_TRUE(r.passed);
    for (const Problem& p : r.problems) {
        ADD_FAILURE() << p.text;
    }
}

}  // namespace
}  // namespace zelk::suite
