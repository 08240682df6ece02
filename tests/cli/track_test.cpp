#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/samples.h"
#include "resources/messages.h"
#include "tests/support/files.h"
#include "tests/support/fits_files.h"
#include "tests/support/run.h"
#include "tracking/stars.h"

namespace nuvak {
namespace {

using test::RunResult;

class CliTrack : public ::testing::Test {
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

test::TempDir* CliTrack::dir_ = nullptr;
std::vector<std::string> CliTrack::frames_;

TEST_F(CliTrack, PrintsTheEightLabels) {
    const RunResult r = track({"--star", "150,110"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> prefixes = {
        "RMS = ", "RMS_X = ", "RMS_Y = ", "PV_X = ", "PV_Y = ", "FWHM = ", "Vx = ", "Vy = "};
    std::size_t pos = 0;
    for (const auto& p : prefixes) {
        const std::size_t at = r.out.find(p, pos);
        ASSERT_EQ(at, pos) << r.out;
        pos = r.out.find('\n', at) + 1;
    }
    EXPECT_EQ(pos, r.out.size());
    EXPECT_NE(r.out.find(" p/min.\n"), std::string::npos);
}

TEST_F(CliTrack, JsonHasEveryFigureAndArcsecondsOnlyChangeTheLabels) {
    const RunResult px = track({"--json"});
    const RunResult as = track({"--json", "--arcsec"});
    ASSERT_EQ(px.status, 0) << px.err;
    for (const char* key : {"\"frames\":",
                            "\"centroid_x\":",
                            "\"centroid_y\":",
                            "\"fwhm_radius\":",
                            "\"first_peak_x\":",
                            "\"first_peak_y\":",
                            "\"search_radius\":",
                            "\"mean_x\":",
                            "\"mean_y\":",
                            "\"mean_fwhm\":",
                            "\"deviation_x\":",
                            "\"deviation_y\":",
                            "\"rms_all\":",
                            "\"rms_x\":",
                            "\"rms_y\":",
                            "\"max_dev_x\":",
                            "\"min_dev_x\":",
                            "\"max_dev_y\":",
                            "\"min_dev_y\":",
                            "\"pv_x\":",
                            "\"pv_y\":",
                            "\"drift_x\":",
                            "\"drift_y\":",
                            "\"arcsec_per_pixel\":",
                            "\"labels\":{\"Label7\":"})
        EXPECT_NE(px.out.find(key), std::string::npos) << key;
    // The numbers are the same in both; only the label texts follow the scale.
    EXPECT_EQ(px.out.substr(0, px.out.find("\"labels\"")), as.out.substr(0, as.out.find("\"labels\"")));
    EXPECT_NE(as.out.find("秒角"), std::string::npos);
    EXPECT_NE(px.out.find("\"arcsec_per_pixel\":0.1956"), std::string::npos);
    // A multiplier of 2 halves the arc-second scale.
    const RunResult doubled = track({"--json", "--multiplier", "2"});
    EXPECT_NE(doubled.out.find("\"arcsec_per_pixel\":0.0978"), std::string::npos) << doubled.out;
}

TEST_F(CliTrack, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> rows = {
        {"--focal", "abc"}, {"--pixel", "nan"}, {"--psf", "99999999999"}, {"--star", "12"}, {"--bogus"}, {"--range"},
    };
    for (const auto& args : rows) {
        const RunResult r = track(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
    }
    EXPECT_EQ(track({frames_[0]}, false).status, 2);  // one frame
    std::vector<std::string> many(201, frames_[0]);
    EXPECT_EQ(track(many, false).status, 2);
}

TEST_F(CliTrack, RunFailuresExitWithOneAndTheMessage) {
    // A frame of another size: the measurement stops with its message.
    const std::string small = dir_->file("small.fits");
    test::WriteBytes(small, test::LevelExampleFrame());
    const RunResult size = track({frames_[0], small}, false);
    EXPECT_EQ(size.status, 1);
    EXPECT_NE(size.err.find(small + ": 画像のサイズが違うので、処理を中断します。"), std::string::npos) << size.err;
    // A dark of another size: the message names the dark and the first frame.
    const RunResult dark = track({"--dark", small});
    EXPECT_EQ(dark.status, 1);
    EXPECT_NE(dark.err.find("ダークフレーム「" + small + "」の大きさ"), std::string::npos) << dark.err;
    EXPECT_NE(dark.err.find("画像「" + frames_[0] + "」"), std::string::npos) << dark.err;
    // A parameter out of range: the statistics refuse it.
    const RunResult focal = track({"--focal", "30001"});
    EXPECT_EQ(focal.status, 1);
    EXPECT_NE(focal.err.find("焦点距離を正しく入力してください。"), std::string::npos);
    // A missing frame names the file.
    const RunResult missing = track({frames_[0], dir_->file("nothing.fits")}, false);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("nothing.fits"), std::string::npos);
}

TEST_F(CliTrack, ResultsFileTakesTheTxtExtension) {
    const std::string out = dir_->file("report.csv");
    const RunResult r = track({"--results", out, "--dark", dir_->file("night/dark1.fits"), "--noise-cut"});
    ASSERT_EQ(r.status, 0) << r.err;
    const test::Bytes bytes = test::ReadBytes(dir_->file("report.txt"));
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.rfind("MORVEL-3 Tracking Data\r\n", 0), 0u);
    EXPECT_NE(text.find("frame05.fits      "), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(out));
}

// Frames named relative to the current folder: the folder line names the real folder.
TEST_F(CliTrack, RelativeFramesGiveTheirFolder) {
    const RunResult r = test::Run(NUVAK_CLI_PATH, {"track", "--results", "rel.txt", "frame01.fits", "frame02.fits"},
                                  dir_->file("night"));
    ASSERT_EQ(r.status, 0) << r.err;
    const test::Bytes bytes = test::ReadBytes(dir_->file("night/rel.txt"));
    const std::string text(bytes.begin(), bytes.end());
    const std::string folder = std::filesystem::canonical(dir_->file("night")).string();
    EXPECT_NE(text.find("\x83\x74\x83\x48\x83\x8B\x83\x5F " + folder + "\r\n"), std::string::npos)
        << text;  // "フォルダ "
}

// The report goes to FILE by its ending; the labels print as before.
TEST_F(CliTrack, ReportIsWrittenAsJsonOrHtml) {
    const std::string json = dir_->file("report.json");
    const RunResult j = track({"--report", json, "--dec", "30", "--worm-period", "120", "--camera-angle", "10"});
    ASSERT_EQ(j.status, 0) << j.err;
    EXPECT_EQ(j.out.rfind("RMS = ", 0), 0u) << j.out;
    const test::Bytes jb = test::ReadBytes(json);
    const std::string jt(jb.begin(), jb.end());
    for (const char* key :
         {"\"time_source\": \"DATE-OBS\"", "\"drift_ra\"", "\"ci95\"", "\"polar_alignment_error_arcmin\"", "\"pe\"",
          "\"flags\"", "\"used\"", "\"worm_period_s\": 120"})
        EXPECT_NE(jt.find(key), std::string::npos) << key << "\n" << jt;

        // A frame whose name holds HTML's special characters appears escaped (Windows takes no '<').
#ifdef _WIN32
    const std::string odd = dir_->file("a&b&c.fits"), escaped = "a&amp;b&amp;c.fits", raw = "a&b";
#else
    const std::string odd = dir_->file("a<b&c.fits"), escaped = "a&lt;b&amp;c.fits", raw = "a<b";
#endif
    std::filesystem::copy_file(frames_[1], odd);
    const std::string html = dir_->file("report.html");
    const RunResult h = track({"--report", html, frames_[0], odd, frames_[2], frames_[3]}, false);
    ASSERT_EQ(h.status, 0) << h.err;
    const test::Bytes hb = test::ReadBytes(html);
    const std::string ht(hb.begin(), hb.end());
    EXPECT_EQ(ht.rfind("<!DOCTYPE html>", 0), 0u);
    int plots = 0;
    for (std::size_t at = ht.find("<svg"); at != std::string::npos; at = ht.find("<svg", at + 1)) ++plots;
    EXPECT_GE(plots, 3);
    EXPECT_NE(ht.find(escaped), std::string::npos);
    EXPECT_EQ(ht.find(raw), std::string::npos);
    EXPECT_EQ(ht.find("http"), std::string::npos);  // nothing fetched from a network
}

// Frames whose headers carry FOCALLEN and XPIXSZ: the report takes its scale from them unless
// --focal or --pixel is given; the eight labels keep the command's scale.
TEST_F(CliTrack, ReportTakesTheScaleFromTheHeadersUnlessGiven) {
    std::vector<std::string> night;
    for (int k = 0; k < 4; ++k) {
        test::Bytes bytes = test::ReadBytes(frames_[k]);
        std::string header(bytes.begin(), bytes.begin() + 2880);
        const std::size_t end = header.find("END" + std::string(77, ' '));
        ASSERT_EQ(end % 80, 0u);
        header.replace(
            end, 240, FitsCard("FOCALLEN", "1000.5", "mm") + FitsCard("XPIXSZ", "3.76", "um") + header.substr(end, 80));
        std::copy(header.begin(), header.end(), bytes.begin());
        night.push_back(dir_->file("scaled" + std::to_string(k) + ".fits"));
        test::WriteBytes(night.back(), bytes);
    }
    const auto scaleOf = [&](std::vector<std::string> args) {
        const std::string json = dir_->file("scale.json");
        args.insert(args.begin(), {"--arcsec", "--report", json});
        args.insert(args.end(), night.begin(), night.end());
        const RunResult r = track(args, false);
        EXPECT_EQ(r.status, 0) << r.err;
        const test::Bytes jb = test::ReadBytes(json);
        const std::string text(jb.begin(), jb.end());
        const std::size_t at = text.find("\"arcsec_per_pixel\": ");
        const std::size_t source = text.find("\"scale_source\": \"");
        EXPECT_NE(source, std::string::npos);
        return std::tuple(std::stod(text.substr(at + 20)),
                          text.substr(source + 17, text.find('"', source + 17) - source - 17), r.out);
    };
    const auto [header, headerSource, headerLabels] = scaleOf({});
    EXPECT_NEAR(header, 206.264806 * 3.76 / 1000.5, 1e-6);
    EXPECT_EQ(headerSource, "FOCALLEN+XPIXSZ");
    const auto [given, givenSource, givenLabels] = scaleOf({"--focal", "7800"});
    EXPECT_NEAR(given, 206.264806 * 7.4 / 7800, 1e-6);
    EXPECT_EQ(givenSource, "options");
    EXPECT_EQ(headerLabels, givenLabels);
}

TEST_F(CliTrack, ReportUsageErrorsExitWithTwo) {
    const std::string json = dir_->file("bad.json");
    const std::vector<std::vector<std::string>> rows = {
        {"--report", dir_->file("report.txt")},
        {"--report", dir_->file("report")},
        {"--dec", "30"},
        {"--camera-angle", "10"},
        {"--worm-period", "480"},
        {"--report", json, "--dec", "95"},
        {"--report", json, "--worm-period", "0"},
        {"--report", json, "--camera-angle", "x"},
    };
    for (const auto& args : rows) {
        const RunResult r = track(args);
        EXPECT_EQ(r.status, 2) << args[0] << " " << args[1];
        EXPECT_EQ(r.out, "") << args[0];
    }
    EXPECT_FALSE(std::filesystem::exists(json));
}

// A night longer than the window's 200 frames gets its report alone; a frame the window's run
// stops at (all samples 0) is a lost frame to the report, which is still written.
TEST_F(CliTrack, ReportTakesLongNightsAndFramesTheWindowStopsAt) {
    SampleSeries s;
    s.frames = 201;
    s.darks = 0;
    s.width = s.height = 48;
    s.startX = s.startY = 24.3;
    s.driftX = 0.01;
    s.driftY = 0;
    const std::vector<std::string> night = WriteSampleSeries(dir_->file("long"), s);
    const std::string json = dir_->file("long.json");
    std::vector<std::string> args = {"--report", json};
    args.insert(args.end(), night.begin(), night.end());
    const RunResult r = track(args, false);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(std::filesystem::exists(json));
    args[0] = "--json";
    EXPECT_EQ(track(args, false).status, 2);

    // Frames wider than the window's run takes: the report measures them all, and the eight
    // figures' limit is a note.
    s.frames = 3;
    s.width = 4100;
    s.height = 40;
    s.startX = 4050.3;
    s.startY = 20.2;
    const std::vector<std::string> wide = WriteSampleSeries(dir_->file("wide"), s);
    args = {"--report", json};
    args.insert(args.end(), wide.begin(), wide.end());
    const RunResult w = track(args, false);
    EXPECT_EQ(w.status, 0) << w.err;
    EXPECT_NE(w.err.find("4100 x 40: the report is written"), std::string::npos) << w.err;
    const test::Bytes wb = test::ReadBytes(json);
    EXPECT_NE(std::string(wb.begin(), wb.end()).find("\"flags\": [[], [], []]"), std::string::npos);

    // Each such frame, all zero, of another size or unreadable, is lost with its reason; the
    // report is written, then the run stops at the first of them and names it.
    const std::string blank = dir_->file("blank.fits"), small = dir_->file("other.fits");
    test::WriteBytes(blank, EncodeFits16(IntArray2D(320, 240), 320, 240));
    test::WriteBytes(small, EncodeFits16(IntArray2D(32, 24), 32, 24));
    const struct {
        std::string frame;
        const char* reason;
    } rows[] = {{blank, "{\"reason\": \"no_star\""},
                {small, "{\"reason\": \"other_size\""},
                {dir_->file("missing.fits"), "{\"reason\": \"unreadable\""}};
    for (const auto& row : rows) {
        const std::string stopped = dir_->file("stopped.json");
        std::filesystem::remove(stopped);
        const RunResult b = track({"--report", stopped, frames_[0], frames_[1], row.frame, frames_[3]}, false);
        EXPECT_EQ(b.status, 1);
        EXPECT_NE(b.err.find(row.frame + ": "), std::string::npos) << b.err;
        const test::Bytes jb = test::ReadBytes(stopped);
        const std::string json(jb.begin(), jb.end());
        EXPECT_NE(json.find("\"flags\": [[], [], [\"lost\"], []]"), std::string::npos) << json;
        EXPECT_NE(json.find("\"lost_reasons\": [null, null, " + std::string(row.reason)), std::string::npos) << json;
    }
}

// The periodic-error correction table.
// --pec writes the correction table beside the report: its bins, its phase 0 from
// --pec-phase-ref or the first frame's time; a night too short to fold gets its report and no
// table.
TEST_F(CliTrack, PecWritesTheCorrectionTable) {
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

TEST_F(CliTrack, PecUsageErrorsExitWithTwo) {
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

// The site and RA give the polar component by hour angle; --frames-csv writes a row a frame.
TEST_F(CliTrack, SiteRaAndFramesCsv) {
    const std::string json = dir_->file("ha.json"), csv = dir_->file("frames.csv");
    const struct {
        std::vector<std::string> args;
        int status;
    } rows[] = {
        {{"--site", "35.5,139.25"}, 2},  // needs --report
        {{"--report", json, "--site", "95,10"}, 2},
        {{"--report", json, "--site", "35.5"}, 2},
        {{"--report", json, "--ra", "25:00:00"}, 2},
        {{"--report", json, "--ra", "east"}, 2},
        {{"--report", json, "--frames-csv", dir_->file("frames.txt")}, 2},
        {{"--report", json, "--site", "35.5,139.25", "--ra", "05:35:17", "--frames-csv", csv}, 0},
    };
    for (const auto& row : rows) {
        const RunResult r = track(row.args);
        EXPECT_EQ(r.status, row.status) << row.args.back() << ": " << r.err;
    }
    const test::Bytes jb = test::ReadBytes(json), cb = test::ReadBytes(csv);
    const std::string jt(jb.begin(), jb.end()), ct(cb.begin(), cb.end());
    EXPECT_NE(jt.find("\"polar_alignment\": {\n"), std::string::npos) << jt;
    EXPECT_NE(jt.find("\"ra_deg\": 83.82083333333333"), std::string::npos) << jt;
    EXPECT_EQ(std::count(ct.begin(), ct.end(), '\n'), 2 + 5) << ct;
}

// A field of stars: --stars measures them all and the report gives the field's figures.
TEST_F(CliTrack, StarsSolveTheField) {
    std::vector<std::string> night;
    FieldOptions field;
    field.frames = 8;
    std::filesystem::create_directory(dir_->file("field"));
    for (const SyntheticFrame& f : WriteSyntheticField(dir_->file("field"), field)) night.push_back(f.path);
    const std::string json = dir_->file("field.json"), csv = dir_->file("field.csv");
    const struct {
        std::vector<std::string> args;
        int status;
    } rows[] = {
        {{"--stars", "5"}, 2},
        {{"--report", json, "--stars", "2"}, 2},
        {{"--report", json, "--stars", "many"}, 2},
        {{"--report", json, "--stars", "auto", "--frames-csv", csv}, 0},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.end(), night.begin(), night.end());
        const RunResult r = track(args, false);
        EXPECT_EQ(r.status, row.status) << row.args.back() << ": " << r.err;
    }
    const test::Bytes jb = test::ReadBytes(json), cb = test::ReadBytes(csv);
    const std::string jt(jb.begin(), jb.end()), ct(cb.begin(), cb.end());
    for (const char* key :
         {"\"stars\": 10", "\"seeing_jitter_arcsec\": {\"value\"", "\"deg_per_hour\": {\"value\"", "\"agreement\": \""})
        EXPECT_NE(jt.find(key), std::string::npos) << key;
    EXPECT_NE(ct.find(",snr,stars,rotation_deg\n"), std::string::npos);

    // A meridian flip before frame 6: the field is measured up to it, and the frames after
    // it are left out with their reason and a warning.
    field.flipAtFrame = 5;
    std::filesystem::create_directory(dir_->file("flipped"));
    night.clear();
    for (const SyntheticFrame& f : WriteSyntheticField(dir_->file("flipped"), field)) night.push_back(f.path);
    std::vector<std::string> args = {"--report", json, "--stars", "auto"};
    args.insert(args.end(), night.begin(), night.end());
    const RunResult r = track(args, false);
    ASSERT_EQ(r.status, 0) << r.err;
    const test::Bytes fb = test::ReadBytes(json);
    const std::string ft(fb.begin(), fb.end());
    std::size_t after = 0;
    for (std::size_t at = 0; (at = ft.find("\"after_meridian_flip\"", at)) != std::string::npos; ++at) ++after;
    EXPECT_EQ(after, 3u) << ft;
    EXPECT_NE(ft.find("\"code\": \"stars_meridian_flip\""), std::string::npos) << ft;
    EXPECT_NE(ft.find("\"stars\": 10"), std::string::npos);
}

}  // namespace
}  // namespace nuvak
