// Credit per script, the coverage JSON read back, the merge of shard reports, and the HTML
// and Markdown pictures of a coverage.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include "Coverage.hpp"
#include "Exploration.hpp"
#include "Merge.hpp"
#include "Suite.hpp"
#include "reports/Graphviz.hpp"
#include "reports/Reports.hpp"

#include <gtest/gtest.h>

namespace zelk::suite {
namespace {

namespace fs = std::filesystem;

constexpr int Off = 0;
constexpr int Standby = 2;
constexpr int Normal = 4;
constexpr int Boost = 6;

int event(ControllerEvent e) { return static_cast<int>(e); }

std::size_t occurrences(const std::string& text, const std::string& word) {
    std::size_t count = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++count;
    }
    return count;
}

const Credit& credit(const CoverageData& data, int state, ControllerEvent e, int outcome) {
    return data.credit[static_cast<std::size_t>(state)][static_cast<std::size_t>(event(e))]
                      [static_cast<std::size_t>(outcome)];
}

// A small known suite in a fresh folder: which script reaches which outcome is known.
class CoverageFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("zelk-coverage-files-" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
        const char* const scripts[] = {
            "power\n",                           // a0: Off, power
            "power\nstart\n",                    // a1: and Standby, start
            "start\n",                           // a2: Off, start, ignored
            "power\nstart\ndust\nwait 5s\n",     // a3: a boost, ended on the clock
            "# Expected result: FAIL\nbogus\n",  // a4: nothing
            "power\nstart\npower\n",             // a5: Normal, power
            "power\nstart\ndust\n",              // a6: a boost
        };
        for (std::size_t i = 0; i < std::size(scripts); ++i) {
            const std::string name = "a" + std::to_string(i);
            const fs::path path = root_ / (name + ".zelk");
            std::ofstream(path, std::ios::binary) << scripts[i];
            entries_.push_back({path.string(), name});
        }
    }
    void TearDown() override { fs::remove_all(root_); }

    SuiteRun run(const std::vector<ScriptEntry>& entries, unsigned jobs) const {
        SuiteOptions options;
        options.jobs = jobs;
        options.coverage = true;
        options.snapshots = SnapshotMode::Ignore;
        return runSuite(entries, options);
    }

    static std::vector<std::string> paths(const std::vector<ScriptEntry>& entries) {
        std::vector<std::string> list;
        list.reserve(entries.size());
        for (const ScriptEntry& entry : entries) {
            list.push_back(entry.path);
        }
        return list;
    }

    std::string json(const CoverageData& data, const std::vector<std::string>& scripts) const {
        std::ostringstream out;
        writeCoverageJson(out, data, machine_, scripts);
        return out.str();
    }

    std::string writeFile(const std::string& name, const std::string& text) const {
        const fs::path path = root_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    fs::path root_;
    std::vector<ScriptEntry> entries_;
    const ReachableMachine machine_ = exploreMachine();
};

TEST_F(CoverageFilesTest, CreditNamesTheScriptsOfEachOutcomeWhateverTheWorkers) {
    for (const unsigned jobs : {1U, 2U, 3U}) {
        const CoverageData data = run(entries_, jobs).coverage;
        EXPECT_EQ(credit(data, Off, ControllerEvent::Power, Standby), (Credit{0, 1, 3, 5, 6}))
            << jobs << " workers";
        EXPECT_EQ(credit(data, Off, ControllerEvent::Start, Ignored), (Credit{2}));
        EXPECT_EQ(credit(data, Standby, ControllerEvent::Start, Normal), (Credit{1, 3, 5, 6}));
        EXPECT_EQ(credit(data, Normal, ControllerEvent::Dust, Boost), (Credit{3, 6}));
        EXPECT_EQ(credit(data, Boost, ControllerEvent::BoostExpiry, Normal), (Credit{3}));
        EXPECT_EQ(credit(data, Normal, ControllerEvent::Power, Off), (Credit{5}));
        // A pair's credit is every script of any of its outcomes, once each.
        EXPECT_EQ(data.pairCredit(Off, event(ControllerEvent::Power)), (Credit{0, 1, 3, 5, 6}));
    }
    // A script that exercises an outcome twice is named once.
    CoverageData twice;
    runScriptText({"t.zelk", "t"}, "power\npower\npower\n", false, &twice, nullptr);
    EXPECT_EQ(twice.pair(Off, event(ControllerEvent::Power)).hits, 2U);
    EXPECT_EQ(credit(twice, Off, ControllerEvent::Power, Standby), (Credit{0}));
}

TEST_F(CoverageFilesTest, JsonListsTheCreditAndReadsBackToTheSameCoverage) {
    const CoverageData data = run(entries_, 2).coverage;
    const std::string text = json(data, paths(entries_));
    const nlohmann::json parsed = nlohmann::json::parse(text);
    EXPECT_EQ(parsed["format"], "zelk_suite coverage 1");
    for (const auto& t : parsed["transitions"]) {
        if (t["state"] == "NormalMode" && t["event"] == "dust") {
            EXPECT_EQ(t["scripts"], nlohmann::json::parse("[3, 6]"));
            EXPECT_EQ(t["outcomes"][0]["scripts"], nlohmann::json::parse("[3, 6]"));
        }
    }
    CoverageFile read;
    std::string error;
    ASSERT_TRUE(readCoverageJson(writeFile("c.json", text), machine_, read, error)) << error;
    EXPECT_EQ(read.scripts, paths(entries_));
    EXPECT_EQ(json(read.data, read.scripts), text) << "the report survives a round trip";
}

// Three shards, each a run over every third script as --shard K/3 takes them: the merge of
// their reports is the unsharded run's report, byte for byte.
TEST_F(CoverageFilesTest, MergeOfThreeShardsEqualsTheUnshardedRun) {
    const std::string whole = json(run(entries_, 2).coverage, paths(entries_));
    std::vector<std::string> files;
    for (std::size_t k = 0; k < 3; ++k) {
        std::vector<ScriptEntry> shard;
        for (std::size_t i = k; i < entries_.size(); i += 3) {
            shard.insert(shard.begin(), entries_[i]);  // a shard may list its scripts in any order
        }
        files.push_back(writeFile("shard" + std::to_string(k) + ".json",
                                  json(run(shard, 1).coverage, paths(shard))));
    }
    // In whatever order the shard files are given.
    for (const std::vector<std::string>& order :
         {files, std::vector<std::string>{files[2], files[0], files[1]}}) {
        CoverageFile merged;
        std::string error;
        ASSERT_TRUE(mergeCoverageFiles(order, machine_, merged, error)) << error;
        EXPECT_EQ(json(merged.data, merged.scripts), whole);
        EXPECT_EQ(summarize(merged.data, machine_).outcomesCovered,
                  summarize(run(entries_, 1).coverage, machine_).outcomesCovered);
    }
}

TEST_F(CoverageFilesTest, MergeRefusesWhatIsNotOneCoverageOfThisBuild) {
    const std::string text =
        json(run({entries_[0], entries_[1]}, 1).coverage, paths({entries_[0], entries_[1]}));
    const std::string good = writeFile("good.json", text);
    const std::string other =
        writeFile("other.json", json(run({entries_[2]}, 1).coverage, paths({entries_[2]})));
    const std::string overlapping =
        writeFile("overlap.json", json(run({entries_[1]}, 1).coverage, paths({entries_[1]})));

    // Another build's exploration: one outcome more reachable, or one pair fewer.
    nlohmann::ordered_json moreOutcomes = nlohmann::ordered_json::parse(text);
    moreOutcomes["transitions"][0]["reachable_outcomes"].push_back("BoostMode");
    nlohmann::ordered_json fewerPairs = nlohmann::ordered_json::parse(text);
    fewerPairs["transitions"].erase(fewerPairs["transitions"].begin() + 5);
    nlohmann::ordered_json badIndex = nlohmann::ordered_json::parse(text);
    badIndex["transitions"][0]["outcomes"][0]["scripts"].push_back(7);
    nlohmann::ordered_json wrongType = nlohmann::ordered_json::parse(text);
    wrongType["transitions"][0]["hits"] = "many";
    const std::string fifo = (root_ / "fifo.json").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    struct Case {
        std::vector<std::string> files;
        const char* reason;  // what the message says
    };
    const Case cases[] = {
        {{good, writeFile("text.json", "power\n")}, "not a coverage report"},
        {{writeFile("junit.json", R"({"tests": 3})")}, "not a coverage report"},
        {{writeFile("old.json", R"({"format": "zelk_suite coverage 0"})")},
         "not a coverage report"},
        {{writeFile("more.json", moreOutcomes.dump())}, "another reachable set"},
        {{writeFile("fewer.json", fewerPairs.dump())}, "another reachable set"},
        {{writeFile("index.json", badIndex.dump())}, "past its list of scripts"},
        {{writeFile("type.json", wrongType.dump())}, "not a coverage report"},
        {{good, other, overlapping}, "counted by both"},
        {{good, good}, "counted by both"},
        {{(root_ / "missing.json").string()}, "cannot read it"},
        {{fifo}, "not a regular file"},
        {{root_.string()}, "not a regular file"},
    };
    for (const Case& c : cases) {
        CoverageFile merged;
        std::string error;
        EXPECT_FALSE(mergeCoverageFiles(c.files, machine_, merged, error)) << c.files.back();
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_NE(error.find(fs::path(c.files.back()).filename().string()), std::string::npos)
            << "the message names the file: " << error;
    }
    CoverageFile merged;
    std::string error;
    EXPECT_TRUE(mergeCoverageFiles({good, other}, machine_, merged, error)) << error;
}

TEST_F(CoverageFilesTest, HtmlPageNamesTheFirstScriptsOfEachPairEscaped) {
    std::vector<ScriptEntry> entries = entries_;
    const fs::path odd = root_ / "<b>&amp \"odd\".zelk";
    std::ofstream(odd, std::ios::binary) << "power\n";
    entries.insert(entries.begin(), {odd.string(), "odd"});
    const CoverageData data = run(entries, 2).coverage;
    std::ostringstream out;
    writeCoverageHtml(out, data, machine_, paths(entries));
    const std::string page = out.str();
    EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\n")) << page.substr(0, 100);
    EXPECT_TRUE(page.ends_with("</html>\n"));
    // Off, power: six scripts; the first three are named, the rest counted. A path is
    // text, never markup.
    const std::size_t row = page.find("<tr><td>Off</td><td>power</td>");
    ASSERT_NE(row, std::string::npos);
    const std::string line = page.substr(row, page.find('\n', row) - row);
    EXPECT_NE(line.find("&lt;b&gt;&amp;amp &quot;odd&quot;.zelk<br>" +
                        (root_ / "a0.zelk").string() + "<br>" + (root_ / "a1.zelk").string() +
                        "<br><span class=\"more\">and 3 more</span>"),
              std::string::npos)
        << line;
    EXPECT_EQ(line.find("a3.zelk"), std::string::npos) << line;
    EXPECT_EQ(page.find("<b>&amp"), std::string::npos);
    // The diagram is Graphviz's SVG, inline: no document type or XML declaration of its own.
    EXPECT_NE(page.find("<svg"), std::string::npos);
    EXPECT_EQ(page.find("<?xml"), std::string::npos);
    EXPECT_EQ(page.find("<!DOCTYPE svg"), std::string::npos);
    // Transitions the suite exercised are drawn green, the others red and dashed.
    EXPECT_NE(page.find("stroke=\"#2e7d32\""), std::string::npos);
    EXPECT_NE(page.find("stroke-dasharray"), std::string::npos);
}

// Graphviz is loaded when a drawing is first asked for; what it cannot read or load is an
// error to report, never a crash.
TEST(GraphvizTest, LaysOutWhenAskedAndSaysWhyNot) {
    std::string error;
    const std::string svg = layoutSvg("digraph { a -> b [label=\"x\"]; }", error);
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find(">x</text>"), std::string::npos) << svg;
    EXPECT_TRUE(layoutSvg("digraph { a -> ", error).empty());
    EXPECT_EQ(error, "Graphviz could not read the graph");
    EXPECT_FALSE(graphvizLoads("libzelk-no-such-library.so.0", error));
    EXPECT_NE(error.find("cannot load libzelk-no-such-library.so.0"), std::string::npos) << error;
}

// An edge is green when every event that causes it was exercised, orange when only some
// were, red when none; the page and the Markdown draw each edge in that colour.
TEST_F(CoverageFilesTest, EdgesAreColouredByHowManyOfTheirCausesWereExercised) {
    // Charging that ends by being stopped: of the three events that end charging while
    // off, one is exercised.
    std::vector<ScriptEntry> entries = entries_;
    entries.push_back({writeFile("stopped.zelk", "battery 50\ncharge\nstop-charge\n"), "stopped"});
    const CoverageData data = run(entries, 1).coverage;
    const std::vector<DiagramEdge> edges = diagramEdges(data, machine_);
    std::set<std::string_view> kinds;
    for (const DiagramEdge& edge : edges) {
        const auto hit = static_cast<std::size_t>(
            std::count_if(edge.causes.begin(), edge.causes.end(),
                          [](const DiagramEdge::Cause& c) { return c.hits > 0; }));
        const std::string_view expected = hit == 0                    ? NeverColour
                                          : hit == edge.causes.size() ? ExercisedColour
                                                                      : PartlyColour;
        EXPECT_EQ(edge.colour(), expected) << edge.from << " -> " << edge.to;
        kinds.insert(expected);
    }
    ASSERT_EQ(kinds.size(), 3U) << "the known suite leaves an edge of each kind";

    std::ostringstream page;
    writeCoverageHtml(page, data, machine_, paths(entries));
    std::ostringstream md;
    writeCoverageMarkdown(md, data, machine_);
    for (const std::string_view colour : kinds) {
        const auto count = static_cast<std::size_t>(
            std::count_if(edges.begin(), edges.end(),
                          [&](const DiagramEdge& edge) { return edge.colour() == colour; }));
        EXPECT_EQ(occurrences(md.str(), " stroke:" + std::string(colour) + ","), count) << colour;
        EXPECT_NE(page.str().find("stroke=\"" + std::string(colour) + "\""), std::string::npos)
            << colour;
    }
}

TEST_F(CoverageFilesTest, MarkdownColoursEachEdgeOfItsMermaidDiagram) {
    const CoverageData data = run(entries_, 1).coverage;
    std::ostringstream out;
    writeCoverageMarkdown(out, data, machine_);
    const std::string md = out.str();
    const std::size_t start = md.find("```mermaid\nflowchart TD\n");
    ASSERT_NE(start, std::string::npos) << md;
    const std::size_t end = md.find("```\n", start + 10);
    ASSERT_NE(end, std::string::npos);
    std::istringstream diagram(md.substr(start, end - start));
    std::size_t edges = 0;
    std::vector<std::string> styles;
    for (std::string line; std::getline(diagram, line);) {
        edges += line.find(" -->|") != std::string::npos ? 1U : 0U;
        if (line.starts_with("    linkStyle ")) {
            styles.push_back(line);
        }
    }
    EXPECT_EQ(edges, diagramEdges(data, machine_).size());
    ASSERT_EQ(styles.size(), edges) << "one style per edge, numbered as Mermaid counts them";
    for (std::size_t i = 0; i < styles.size(); ++i) {
        EXPECT_TRUE(styles[i].starts_with("    linkStyle " + std::to_string(i) + " stroke:#"))
            << styles[i];
    }
    // Standby, start was exercised four times; Off, charge never.
    EXPECT_NE(md.find("    S2 -->|\"start (4)\"| S4\n"), std::string::npos) << md;
    EXPECT_NE(md.find("| Off | charge | Off (charging) |\n"), std::string::npos) << md;
    EXPECT_NE(md.find("| transitions (state, event) | 6 | 88 |"), std::string::npos) << md;
}

}  // namespace
}  // namespace zelk::suite
