#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/samples.h"
#include "resources/messages.h"
#include "tests/support/files.h"
#include "tests/support/run.h"

namespace nuvak {
namespace {

using test::RunResult;

// The periodic-error correction table of nuvak-cli track.
class CliPec : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir;
        SampleSeries s;
        s.frames = 5;
        frames_ = WriteSampleSeries(dir_->file("night"), s);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static RunResult track(std::vector<std::string> args, bool withFrames = true) {
        args.insert(args.begin(), "track");
        if (withFrames) args.insert(args.end(), frames_.begin(), frames_.end());
        return test::Run(NUVAK_CLI_PATH, args);
    }
    static test::TempDir* dir_;
    static std::vector<std::string> frames_;
};

test::TempDir* CliPec::dir_ = nullptr;
std::vector<std::string> CliPec::frames_;

// --pec writes the correction table beside the report: its bins, its phase 0 from
// --pec-phase-ref or the first frame's time; a night too short to fold gets its report and no
// table.
TEST_F(CliPec, WritesTheCorrectionTable) {
    const std::string folder = dir_->file("worm");
    const std::vector<std::string> night = WriteSampleSeries(folder, SampleSeries{});
    const std::string json = dir_->file("worm.json"), csv = dir_->file("worm.csv");
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--dark", folder + "/dark1.fits", "--noise-cut", "--worm-period", "120", "--report",
                                   json, "--pec", csv});
        args.insert(args.end(), night.begin(), night.end());
        const RunResult r = track(args, false);
        EXPECT_EQ(r.status, 0) << r.err;
        const test::Bytes b = test::ReadBytes(csv);
        return std::string(b.begin(), b.end());
    };
    const struct {
        std::vector<std::string> args;
        int bins;
        const char* phaseZero;
    } rows[] = {
        {{}, 100, "phase 0 at 2026-12-08T21:00:05.000 UTC, the first frame's mid-exposure (no --pec-phase-ref)"},
        {{"--pec-bins", "12", "--pec-phase-ref", "2026-12-08T21:00:35"},
         12,
         "phase 0 at 2026-12-08T21:00:35.000 UTC (given by --pec-phase-ref)"},
    };
    std::vector<std::string> tables;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bins);
        const std::string table = run(row.args);
        EXPECT_NE(table.find(row.phaseZero), std::string::npos) << table;
        EXPECT_NE(table.find("\nphase,correction_arcsec,rate_arcsec_per_s\n0,"), std::string::npos) << table;
        EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 5 + row.bins);
        tables.push_back(table);
    }
    // Phase 0 30 s (a quarter of the worm) later: the 100 bins' row 25 is the 12 bins' row 3's phase 0.
    const auto rowAfter = [](const std::string& table, const std::string& start) {
        const std::size_t at = table.find("\n" + start + ",");
        return at == std::string::npos ? ""
                                       : table.substr(at + 1 + start.size(),
                                                      table.find(',', at + 2 + start.size()) - at - 1 - start.size());
    };
    EXPECT_NE(rowAfter(tables[1], "0"), "");
    EXPECT_EQ(rowAfter(tables[0], "0.25"), rowAfter(tables[1], "0"));
    const test::Bytes jb = test::ReadBytes(json);
    EXPECT_NE(std::string(jb.begin(), jb.end()).find("\"phase_ref\": \"given\""), std::string::npos);

    std::filesystem::remove(csv);
    const RunResult shortNight = track({"--report", json, "--worm-period", "120", "--pec", csv});
    EXPECT_EQ(shortNight.status, 1);
    EXPECT_NE(shortNight.err.find(msg::kPecNoCurve), std::string::npos) << shortNight.err;
    EXPECT_TRUE(std::filesystem::exists(json));
    EXPECT_FALSE(std::filesystem::exists(csv));
    EXPECT_NE(test::Run(NUVAK_CLI_PATH, {"track", "--help"}).out.find("--pec-phase-ref ISO-TIME"), std::string::npos);
}

TEST_F(CliPec, UsageErrorsExitWithTwo) {
    const std::string json = dir_->file("pec.json"), csv = dir_->file("pec.csv");
    const std::vector<std::vector<std::string>> rows = {
        {"--pec", csv},
        {"--report", json, "--pec", dir_->file("pec.txt")},
        {"--report", json, "--pec-bins", "10"},
        {"--report", json, "--pec", csv, "--pec-bins", "1"},
        {"--report", json, "--pec", csv, "--pec-bins", "ten"},
        {"--report", json, "--pec", csv, "--pec-bins", "100001"},
        {"--report", json, "--pec-phase-ref", "2026-12-08T21:00:00"},
        {"--report", json, "--pec", csv, "--pec-phase-ref", "yesterday"},
    };
    for (const auto& args : rows) {
        const RunResult r = track(args);
        EXPECT_EQ(r.status, 2) << args[args.size() - 2] << " " << args.back();
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("--pec"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(json));
    EXPECT_FALSE(std::filesystem::exists(csv));
}

}  // namespace
}  // namespace nuvak
