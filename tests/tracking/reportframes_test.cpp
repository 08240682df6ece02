#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/samples.h"
#include "tests/support/files.h"
#include "tests/support/fits_files.h"
#include "tracking/report.h"

namespace nuvak {
namespace {

using test::FitsCard;

// Seconds since 1970 of 2000-01-01T00:00:00.
constexpr double kY2000 = 946684800;

TEST(ReportFrameTime, IsoDateTimes) {
    struct Row {
        const char* text;
        std::optional<double> seconds;
    } rows[] = {
        {"2000-01-01", kY2000},
        {"2000-01-01T00:00:00", kY2000},
        {"2000-03-01T01:02:03.25", kY2000 + 60 * 86400.0 + 3723.25},  // 2000 is a leap year
        {"2000-01-01 00:00:01Z", kY2000 + 1},
        {"1970-01-01T00:00:00.000001", 1e-6},
        {"1969-12-31T23:59:59", -1},
        {"2024-02-29T12:00:00", 1709208000},
        {"2023-02-29", std::nullopt},
        {"2000-13-01", std::nullopt},
        {"2000-01-32", std::nullopt},
        {"2000-04-31", std::nullopt},
        {"2000-01-01T25:00:00", std::nullopt},
        {"2000-01-01T12:60:00", std::nullopt},
        {"2000-01-01T12:00", std::nullopt},
        {"2000-01-01T12:00:00.", std::nullopt},
        {"2000-01-01T12:00:00ZZ", std::nullopt},
        {"2000-01-01X12:00:00", std::nullopt},
        {"2000-1-01", std::nullopt},
        {"20OO-01-01", std::nullopt},
        {"", std::nullopt},
    };
    for (const Row& r : rows) {
        const auto t = ParseIsoDateTime(r.text);
        ASSERT_EQ(t.has_value(), r.seconds.has_value()) << r.text;
        if (t) {
            EXPECT_NEAR(*t, *r.seconds, 1e-6) << r.text;
        }
    }
}

TEST(ReportFrameTime, HeaderValues) {
    const std::string cards = FitsCard("DATE", "'2001-01-01'") + FitsCard("DATE-OBS", "'2026-12-08T21:14:05 '", "UT") +
                              FitsCard("EXPTIME", "12.5", "seconds / really") + FitsCard("OBSERVER", "'O''Hara'") +
                              test::FitsRawCard("COMMENT   EXPOSURE = 3") + test::FitsRawCard("END") +
                              FitsCard("FILTER", "'R'");
    struct Row {
        const char* keyword;
        std::optional<std::string> value;
    } rows[] = {{"DATE-OBS", "2026-12-08T21:14:05"},
                {"DATE", "2001-01-01"},
                {"EXPTIME", "12.5"},
                {"OBSERVER", "O'Hara"},
                {"DATE-OB", std::nullopt},
                {"EXPOSURE", std::nullopt},
                {"FILTER", std::nullopt},
                {"COMMENT", std::nullopt}};
    for (const Row& r : rows) EXPECT_EQ(HeaderValue(cards, r.keyword), r.value) << r.keyword;
}

ReportFrame WithCards(const std::vector<std::string>& cards) {
    ReportFrame f;
    for (const std::string& c : cards) f.headerCards += c;
    return f;
}

TEST(ReportFrameTime, TimeAxis) {
    const auto date = [](const char* v) { return FitsCard("DATE-OBS", std::string("'") + v + "'"); };
    const auto time = [](const char* v) { return FitsCard("TIME-OBS", std::string("'") + v + "'"); };
    const auto avg = [](const char* v) { return FitsCard("DATE-AVG", std::string("'") + v + "'"); };
    // 1/1024 of a day, 84.375 s, is exact in binary: the rows compare to 1 us.
    const char *kDay = "61017.5", *kDayLater = "61017.5009765625";
    struct Row {
        const char* what;
        std::vector<std::vector<std::string>> frames;
        const char* source;
        std::vector<double> t;
        std::vector<std::string> flags = {};  // TimeOrderFlags of t; none when empty
    } rows[] = {
        {"DATE-AVG before DATE-OBS, without the exposure",
         {{avg("2026-12-08T21:00:05"), date("2026-12-08T21:00:00"), FitsCard("EXPTIME", "30")},
          {avg("2026-12-08T21:00:25.25"), date("2026-12-08T21:00:00"), FitsCard("EXPTIME", "30")}},
         "DATE-AVG",
         {0, 20.25}},
        {"DATE-AVG in one frame only: DATE-OBS",
         {{avg("2026-12-08T21:00:05"), date("2026-12-08T21:00:00")}, {date("2026-12-08T21:00:20")}},
         "DATE-OBS",
         {0, 20}},
        {"MJD-OBS plus half the exposure",
         {{FitsCard("MJD-OBS", kDay), FitsCard("EXPTIME", "10")},
          {FitsCard("MJD-OBS", kDayLater), FitsCard("EXPTIME", "20")}},
         "MJD-OBS",
         {0, 89.375}},
        {"MJD-AVG as it is",
         {{FitsCard("MJD-AVG", kDay), FitsCard("EXPTIME", "10")},
          {FitsCard("MJD-AVG", kDayLater), FitsCard("EXPTIME", "20")}},
         "MJD-AVG",
         {0, 84.375}},
        {"MJD-OBS before MJD-AVG; a DATE-OBS without its time",
         {{date("2026-12-08"), FitsCard("MJD-OBS", kDay), FitsCard("MJD-AVG", "1")},
          {date("2026-12-08"), FitsCard("MJD-OBS", kDayLater), FitsCard("MJD-AVG", "2")}},
         "MJD-OBS",
         {0, 84.375}},
        {"JD, also as a string, plus half of EXPOSURE",
         {{FitsCard("JD", "'2461017.5'"), FitsCard("EXPOSURE", "4")},
          {FitsCard("JD", "2461017.5009765625"), FitsCard("EXPOSURE", "4")}},
         "JD",
         {0, 84.375}},
        {"a time that goes back: flagged, kept in place",
         {{date("2026-12-08T21:00:00")},
          {date("2026-12-08T21:00:20")},
          {date("2026-12-08T21:00:10")},
          {date("2026-12-08T21:00:30")}},
         "DATE-OBS",
         {0, 20, 10, 30},
         {"", "", "time_backwards", ""}},
        {"a time repeated across an unread frame",
         {{FitsCard("JD", "2461017.5")},
          {FitsCard("JD", "2461017.5009765625")},
          {},
          {FitsCard("JD", "2461017.5009765625")}},
         "JD",
         {0, 84.375, NAN, 84.375},
         {"", "", "", "time_repeated"}},
        {"DATE-OBS and EXPTIME, a gap and longer exposures",
         {{date("2026-12-08T23:59:50"), FitsCard("EXPTIME", "4")},
          {date("2026-12-09T00:00:00.5"), FitsCard("EXPTIME", "4")},
          {date("2026-12-09T00:00:30"), FitsCard("EXPTIME", "6.0")}},
         "DATE-OBS",
         {0, 10.5, 41}},
        {"date, TIME-OBS and EXPOSURE",
         {{date("2026-12-08"), time("21:00:00"), FitsCard("EXPOSURE", "30")},
          {date("2026-12-08"), time("21:00:31.5"), FitsCard("EXPOSURE", "30")}},
         "DATE-OBS",
         {0, 31.5}},
        {"no exposure time: the start",
         {{date("2026-12-08T21:00:00"), FitsCard("EXPTIME", "10")}, {date("2026-12-08T21:00:20")}},
         "DATE-OBS",
         {0, 15}},
        {"one frame without DATE-OBS",
         {{date("2026-12-08T21:00:00")}, {FitsCard("EXPTIME", "4")}, {date("2026-12-08T21:00:20")}},
         "interval",
         {0, 15, 30}},
        {"frames that could not be read have no time, even the first",
         {{}, {date("2026-12-08T21:00:00")}, {}, {date("2026-12-08T21:00:20")}},
         "DATE-OBS",
         {NAN, 0, NAN, 20}},
        {"a date without a time of day", {{date("2026-12-08")}, {date("2026-12-08")}}, "interval", {0, 15}},
        {"a date-time that does not parse",
         {{date("2026-12-08T21:00:00")}, {date("2026-12-08T21:00:61")}},
         "interval",
         {0, 15}},
    };
    for (const Row& r : rows) {
        std::vector<ReportFrame> frames;
        for (const auto& cards : r.frames) frames.push_back(WithCards(cards));
        const TimeAxis axis = FrameTimes(frames, 15);
        EXPECT_EQ(axis.source, r.source) << r.what;
        ASSERT_EQ(axis.t.size(), r.t.size()) << r.what;
        for (std::size_t i = 0; i < r.t.size(); ++i) {
            if (std::isnan(r.t[i])) EXPECT_TRUE(std::isnan(axis.t[i])) << r.what << " " << i;
            else EXPECT_NEAR(axis.t[i], r.t[i], 1e-6) << r.what << " " << i;
        }
        const std::vector<std::string> flags = TimeOrderFlags(axis.t);
        EXPECT_EQ(flags, r.flags.empty() ? std::vector<std::string>(r.t.size()) : r.flags) << r.what;
    }
}

TEST(ReportFrameTime, Scales) {
    const auto card = [](const char* key, const char* value) { return FitsCard(key, value); };
    const double kArcsecPerRadian = 206264.80624709636;
    struct Row {
        const char* what;
        std::vector<std::vector<std::string>> frames;
        double multiplier;
        std::optional<double> pixelPerFocal;  // um / mm
        const char* source;
    } rows[] = {
        {"XPIXSZ", {{card("FOCALLEN", "1000"), card("XPIXSZ", "3.76")}}, 1, 3.76 / 1000, "FOCALLEN+XPIXSZ"},
        {"XPIXSZ before PIXSIZE1; the multiplier",
         {{card("FOCALLEN", "1000."), card("XPIXSZ", "7.52"), card("PIXSIZE1", "3.76"), card("XBINNING", "1")}},
         2,
         7.52 / 2000,
         "FOCALLEN+XPIXSZ"},
        {"PIXSIZE1 x XBINNING where a frame lacks XPIXSZ",
         {{card("FOCALLEN", "800"), card("XPIXSZ", "7.52"), card("PIXSIZE1", "3.76"), card("XBINNING", "2")},
          {card("FOCALLEN", "800"), card("PIXSIZE1", "3.76"), card("XBINNING", "2")}},
         1,
         7.52 / 800,
         "FOCALLEN+PIXSIZE1*XBINNING"},
        {"no XBINNING: unbinned; an unread frame",
         {{}, {card("FOCALLEN", "800"), card("PIXSIZE1", "3.76")}},
         1,
         3.76 / 800,
         "FOCALLEN+PIXSIZE1*XBINNING"},
        {"frames that disagree",
         {{card("FOCALLEN", "1000"), card("XPIXSZ", "3.76")}, {card("FOCALLEN", "1000"), card("XPIXSZ", "7.52")}},
         1,
         std::nullopt,
         ""},
        {"one frame without FOCALLEN",
         {{card("FOCALLEN", "1000"), card("XPIXSZ", "3.76")}, {card("XPIXSZ", "3.76")}},
         1,
         std::nullopt,
         ""},
        {"a focal length of 0", {{card("FOCALLEN", "0"), card("XPIXSZ", "3.76")}}, 1, std::nullopt, ""},
        {"a binning of 0",
         {{card("FOCALLEN", "800"), card("PIXSIZE1", "3.76"), card("XBINNING", "0")}},
         1,
         std::nullopt,
         ""},
        {"no frame read", {{}, {}}, 1, std::nullopt, ""},
    };
    for (const Row& r : rows) {
        std::vector<ReportFrame> frames;
        for (const auto& cards : r.frames) frames.push_back(WithCards(cards));
        const auto scale = FramesScale(frames, r.multiplier);
        ASSERT_EQ(scale.has_value(), r.pixelPerFocal.has_value()) << r.what;
        if (scale) {
            EXPECT_NEAR(scale->arcsecPerPixel, kArcsecPerRadian * 1e-3 * *r.pixelPerFocal, 1e-9) << r.what;
            EXPECT_EQ(scale->source, r.source) << r.what;
        }
    }
}

TEST(ReportFrameTime, Declinations) {
    struct Row {
        std::vector<const char*> values;  // nullptr: no card; "unread": no header at all
        std::optional<double> dec;
    } rows[] = {
        {{"'+45 30 00'"}, 45.5},
        {{"'45:30:00'"}, 45.5},
        {{"'-05 12 30.5'"}, -(5 + 12 / 60.0 + 30.5 / 3600)},
        {{"'-00 30 00'"}, -0.5},
        {{"45.5"}, 45.5},
        {{"'-12.25'"}, -12.25},
        {{"'+10 00 00'", "'+10 00 36'"}, 10.005},
        {{"'+10 00 00'", nullptr}, std::nullopt},
        {{"'45 60 00'"}, std::nullopt},
        {{"'91 00 00'"}, std::nullopt},
        {{"'45 -3 00'"}, std::nullopt},
        {{"'45  30'"}, std::nullopt},
        {{"'north'"}, std::nullopt},
        {{"''"}, std::nullopt},
        {{"unread", "'+10 00 00'"}, 10},
        {{"unread"}, std::nullopt},
        // DEC where OBJCTDEC is missing ("DEC=" a DEC card, after ";" in the same frame).
        {{"DEC=-12.5"}, -12.5},
        {{"DEC='-05 12 30'"}, -(5 + 12 / 60.0 + 30 / 3600.0)},
        {{"DEC='+45:30:00'", "'+45 30 36'"}, 45.505},
        {{"'+10 00 00';DEC=20"}, 10},
        {{"DEC='x'"}, std::nullopt},
    };
    const auto cards = [](std::string_view v) {
        std::vector<std::string> out;
        for (std::size_t end; !v.empty(); v.remove_prefix(std::min(v.size(), end + 1))) {
            end = std::min(v.find(';'), v.size());
            const std::string_view one = v.substr(0, end);
            out.push_back(one.substr(0, 4) == "DEC=" ? FitsCard("DEC", std::string(one.substr(4)))
                                                     : FitsCard("OBJCTDEC", std::string(one)));
        }
        return out;
    };
    for (const Row& r : rows) {
        std::vector<ReportFrame> frames;
        for (const char* v : r.values)
            frames.push_back(WithCards(!v                                ? std::vector{FitsCard("EXPTIME", "4")}
                                       : std::string_view(v) == "unread" ? std::vector<std::string>{}
                                                                         : cards(v)));
        const auto dec = FramesDeclination(frames);
        ASSERT_EQ(dec.has_value(), r.dec.has_value()) << r.values[0];
        if (dec) {
            EXPECT_NEAR(*dec, *r.dec, 1e-12) << r.values[0];
        }
    }
}

// A frame of sky 1000 with Gaussian noise and, when peak > 0, a circular Gaussian star centred
// at (sx, sy) (pixel centres at x + 0.5); samples are clipped at 65535.
std::string StarFrame(const test::TempDir& dir, const std::string& name, double sx, double sy, double peak,
                      double noise, std::mt19937& random, double sigma = 2, int w = 80, int h = 70) {
    std::normal_distribution<double> gauss(0, noise);
    IntArray2D a(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            const double dx = x + 0.5 - sx, dy = y + 0.5 - sy;
            const double v = 1000 + peak * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma)) + gauss(random);
            a[x][y] = int(std::clamp(std::lround(v), 0L, 65535L));
        }
    std::string path = dir.file(name);
    test::WriteBytes(path, EncodeFits16(a, w, h));
    return path;
}

TEST(ReportFrames, StarsBlankAndSaturatedFrames) {
    test::TempDir dir;
    std::mt19937 random(7);
    struct Row {
        const char* what;
        double sx, sy, peak;
        bool found, saturated;
    } rows[] = {
        {"a star at a sub-pixel position", 40.37, 33.71, 4000, true, false},
        {"a blank frame", 0, 0, 0, false, false},
        {"the star moved on", 41.82, 32.15, 4000, true, false},
        {"a saturated star", 42.6, 31.4, 200000, true, true},
    };
    std::vector<std::string> paths;
    for (const Row& r : rows)
        paths.push_back(StarFrame(dir, std::to_string(paths.size()) + ".fits", r.sx, r.sy, r.peak, 10, random));
    for (bool starSpecified : {false, true}) {
        MeasureSettings settings;
        settings.starSpecified = starSpecified;
        settings.starX = 38;
        settings.starY = 35;
        const std::vector<ReportFrame> frames = MeasureReportFrames(paths, settings);
        ASSERT_EQ(frames.size(), std::size(rows));
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const Row& r = rows[i];
            const ReportFrame& f = frames[i];
            SCOPED_TRACE(std::string(r.what) + (starSpecified ? ", star given" : ", whole frame"));
            EXPECT_EQ(f.path, paths[i]);
            EXPECT_NE(f.headerCards.find("NAXIS1"), std::string::npos);
            EXPECT_EQ(f.found, r.found);
            EXPECT_EQ(f.saturated, r.saturated);
            if (!r.found) continue;
            EXPECT_NEAR(f.background, 1000, 2);
            EXPECT_NEAR(f.noise, 10, 1);
            EXPECT_NEAR(f.x, r.sx, 0.03);
            EXPECT_NEAR(f.y, r.sy, 0.03);
            if (r.saturated) continue;
            const double fwhm = 2 * std::sqrt(2 * std::log(2.0)) * 2;
            EXPECT_NEAR(f.fwhmPx, fwhm, 0.03 * fwhm);
            EXPECT_NEAR(f.hfdPx, fwhm, 0.03 * fwhm);  // a Gaussian's half-flux diameter is its FWHM
            EXPECT_NEAR(f.flux, 4000 * 2 * std::numbers::pi * 4, 0.02 * 4000 * 2 * std::numbers::pi * 4);
            EXPECT_GT(f.centroidSigmaPx, 0);
            EXPECT_LT(f.centroidSigmaPx, 0.01);
        }
    }
}

// Every frame the window's run would stop at is a lost frame with its reason; the frames
// after it are measured against the first frame as before.
TEST(ReportFrames, FramesTheRunStopsAtAreLostWithTheirReason) {
    test::TempDir dir;
    std::mt19937 random(3);
    const auto write = [&](const char* name, const test::Bytes& bytes) {
        test::WriteBytes(dir.file(name), bytes);
        return dir.file(name);
    };
    const std::string star = StarFrame(dir, "star.fits", 40.4, 33.7, 4000, 10, random);
    const test::Bytes starBytes = test::ReadBytes(star);
    const struct {
        std::string path;
        const char* reason;
        const char* inMessage;
    } rows[] = {
        {star, "", ""},
        {write("small.fits", EncodeFits16(IntArray2D(40, 30), 40, 30)), "other_size", "40x30 が最初のフレームの 80x70"},
        {dir.file("missing.fits"), "unreadable", "見つかりません"},
        {write("cut.fits", test::Bytes(starBytes.begin(), starBytes.begin() + 4000)), "unreadable", "切れています"},
        {write("blank.fits", EncodeFits16(IntArray2D(80, 70), 80, 70)), "no_star", "星が見つかりません"},
        {write("wide.fits", EncodeFits16(IntArray2D(4001, 2), 4001, 2)), "other_size",
         "4001x2 が最初のフレームの 80x70"},
        {write("huge.fits", EncodeFits16(IntArray2D(16001, 2), 16001, 2)), "unreadable", "16001 x 2"},
        {StarFrame(dir, "star2.fits", 41.1, 33.2, 4000, 10, random), "", ""},
    };
    std::vector<std::string> paths;
    for (const auto& r : rows) paths.push_back(r.path);
    const std::vector<ReportFrame> frames = MeasureReportFrames(paths, MeasureSettings{});
    ASSERT_EQ(frames.size(), std::size(rows));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(rows[i].path);
        EXPECT_EQ(frames[i].found, *rows[i].reason == 0);
        EXPECT_EQ(frames[i].lostReason, rows[i].reason);
        EXPECT_NE(frames[i].lostMessage.find(rows[i].inMessage), std::string::npos) << frames[i].lostMessage;
    }
    EXPECT_NEAR(frames[7].x, 41.1, 0.05);
}

// Frames held a band of rows at a time give every figure the whole frame gives, with and
// without a star, the noise cut and a dark; bands of 16 rows split the star, the rows about a
// star far down the frame start well below row 0, and two equal peaks in different bands go
// to the smaller column as in one scan of the whole frame; a star grown three times wider
// than the one before needs sky rows past the band cut for it.
TEST(ReportFrames, BandsGiveWhatWholeFramesGive) {
    test::TempDir dir;
    std::mt19937 random(5);
    std::vector<std::string> paths;
    constexpr int w = 60, h = 700;
    for (const auto& [sx, sy, sigma] :
         {std::tuple{40.4, 531.9, 2.0}, {41.3, 533.0, 2.0}, {40.2, 536.7, 6.0}, {12.6, 560.2, 2.0}})
        paths.push_back(StarFrame(dir, std::to_string(paths.size()) + ".fits", sx, sy, 4000, 10, random, sigma, w, h));
    IntArray2D ties(w, h), dark(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            ties[x][y] = 1000 + int(random() % 20);
            dark[x][y] = 200 + (x * 7 + y * 3) % 50;
        }
    ties[50][10] = ties[30][40] = 9000;
    paths.push_back(dir.file("ties.fits"));
    test::WriteBytes(paths.back(), EncodeFits16(ties, w, h));
    test::WriteBytes(dir.file("dark.fits"), EncodeFits16(dark, w, h));

    const auto settings = [&](bool star, bool noiseCut, bool withDark) {
        MeasureSettings s;
        s.starSpecified = star;
        s.starX = 40;
        s.starY = 532;
        s.noiseCut = noiseCut;
        s.darkProcessing = withDark;
        if (withDark) s.darks = {dir.file("dark.fits")};
        return s;
    };
    const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    for (const MeasureSettings& s : {settings(false, false, false), settings(false, true, true),
                                     settings(true, false, false), settings(true, true, true)}) {
        SCOPED_TRACE(testing::Message() << "star " << s.starSpecified << " noise cut " << s.noiseCut << " dark "
                                        << s.darkProcessing);
        const std::vector<ReportFrame> whole = MeasureReportFrames(paths, s);
        const std::vector<ReportFrame> bands = detail::MeasureReportFramesInBands(paths, s, 16);
        ASSERT_EQ(whole.size(), bands.size());
        for (std::size_t i = 0; i < whole.size(); ++i) {
            const ReportFrame &a = whole[i], &b = bands[i];
            EXPECT_EQ(a.found, b.found) << i;
            EXPECT_EQ(a.lostReason, b.lostReason) << i;
            EXPECT_EQ(a.saturated, b.saturated) << i;
            for (auto field :
                 {&ReportFrame::x, &ReportFrame::y, &ReportFrame::peak, &ReportFrame::background, &ReportFrame::noise,
                  &ReportFrame::flux, &ReportFrame::fwhmPx, &ReportFrame::hfdPx, &ReportFrame::centroidSigmaPx})
                EXPECT_TRUE(same(a.*field, b.*field)) << i << ": " << a.*field << " against " << b.*field;
        }
        EXPECT_TRUE(bands[2].found);
        if (!s.starSpecified && !s.noiseCut) {
            EXPECT_NEAR(whole[4].x, 30.5, 1) << "the tie goes to the smaller column";
        }
    }
}

// Two stars close together, the fainter one picked: the run's centroid square takes in the
// brighter one's light, its next search window the brighter one's peak, and from then on it
// follows that star. The report measures the star the run follows in every frame, and the
// window's figures from the same pass are those of a run on its own.
TEST(ReportFrames, ReportAndRunFollowTheSameStar) {
    test::TempDir dir;
    std::mt19937 random(3);
    std::normal_distribution<double> gauss(0, 5);
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i) {
        IntArray2D a(100, 100);
        for (int x = 0; x < 100; ++x)
            for (int y = 0; y < 100; ++y) {
                double v = 1000 + gauss(random);
                for (const auto& [sx, sy, peak] : {std::tuple{50.5, 50.5, 5000.0}, {60.5, 50.5, 6000.0}}) {
                    const double dx = x + 0.5 - sx - 0.2 * i, dy = y + 0.5 - sy;
                    v += peak * std::exp(-(dx * dx + dy * dy) / (2 * 1.5 * 1.5));
                }
                a[x][y] = int(std::lround(v));
            }
        paths.push_back(dir.file(std::to_string(i) + ".fits"));
        test::WriteBytes(paths.back(), EncodeFits16(a, 100, 100));
    }
    MeasureSettings s;
    s.starSpecified = true;
    s.starX = s.starY = 50;
    s.searchRange = 10;
    const std::vector<ReportFrame> night = MeasureReportFrames(paths, s);
    TrackingState alone;
    RunMeasurement(paths, s, alone);
    for (std::size_t i = 0; i < night.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(night[i].found);
        EXPECT_NEAR(night[i].x, night[i].run.peakX + 0.5, 1.5) << "the report's star is the run's";
        EXPECT_EQ(night[i].run.cx, alone.CentroidX[i]);
        EXPECT_EQ(night[i].run.cy, alone.CentroidY[i]);
    }
    EXPECT_EQ(night[0].run.peakX, 50);
    EXPECT_EQ(night[3].run.peakX, 61) << "the run has gone over to the brighter star";
}

// A colour camera's mosaic (the filters' gains differ by cell) is measured on 2 x 2 superpixels
// when BAYERPAT or COLORTYP names a pattern, and reports image pixels all the same.
TEST(ReportFrames, BayerMosaicsAreMeasuredOnSuperpixels) {
    test::TempDir dir;
    std::mt19937 random(9);
    std::normal_distribution<double> gauss(0, 5);
    constexpr int w = 96, h = 80;
    constexpr double sx = 47.3, sy = 38.6, sigma = 2.2;
    IntArray2D a(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            const double gain = x % 2 == 0 && y % 2 == 0 ? 0.5 : x % 2 == 1 && y % 2 == 1 ? 0.7 : 1.0;
            const double dx = x + 0.5 - sx, dy = y + 0.5 - sy;
            const double v = 800 + gain * 6000 * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma)) + gauss(random);
            a[x][y] = int(std::lround(v));
        }
    const struct {
        std::vector<std::string> cards;
        bool superpixels;
    } rows[] = {{{}, false},
                {{FitsCard("BAYERPAT", "'RGGB'")}, true},
                {{FitsCard("COLORTYP", "'grbg '")}, true},
                {{FitsCard("BAYERPAT", "'MONO'")}, false}};
    for (const auto& row : rows) {
        const std::string path = dir.file("mosaic.fits");
        test::WriteBytes(path, EncodeFits16(a, w, h, row.cards));
        MeasureSettings settings;
        settings.starSpecified = true;
        settings.starX = 47;
        settings.starY = 38;
        const std::vector<ReportFrame> f = MeasureReportFrames({path, path}, settings);
        SCOPED_TRACE(row.cards.empty() ? std::string("no cards") : row.cards.front());
        ASSERT_TRUE(f[1].found);
        EXPECT_EQ(f[1].superpixels, row.superpixels);
        EXPECT_NEAR(f[1].x, sx, 0.1);
        EXPECT_NEAR(f[1].y, sy, 0.1);
        if (row.superpixels) {
            EXPECT_NEAR(f[1].fwhmPx, 2.3548 * sigma, 0.12 * 2.3548 * sigma);
        }
    }
}

TEST(ReportFrames, CentroidSigmaMatchesTheScatter) {
    // A faint star (peak 20 sky sigmas) in 40 noise draws: the stated centroid uncertainty
    // is the scatter of the fitted centres.
    test::TempDir dir;
    std::mt19937 random(11);
    std::vector<std::string> paths;
    paths.reserve(40);
    for (int i = 0; i < 40; ++i)
        paths.push_back(StarFrame(dir, std::to_string(i) + ".fits", 30.3, 40.6, 200, 10, random));
    MeasureSettings settings;
    const std::vector<ReportFrame> frames = MeasureReportFrames(paths, settings);
    double sum = 0, sum2 = 0, stated = 0;
    for (const ReportFrame& f : frames) {
        ASSERT_TRUE(f.found);
        sum += f.x;
        sum2 += f.x * f.x;
        stated += f.centroidSigmaPx / double(frames.size());
    }
    const double n = double(frames.size()), scatter = std::sqrt((sum2 - sum * sum / n) / (n - 1));
    EXPECT_NEAR(sum / n, 30.3, 0.03);
    EXPECT_NEAR(scatter / stated, 1.0, 0.3) << scatter << " " << stated;
}

}  // namespace
}  // namespace nuvak
