#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>

#include "core/error.h"
#include "stacking/spectrum.h"
#include "tests/support/files.h"
#include "tests/support/rasters.h"

namespace nuvak {
namespace {

using Segment = std::array<int, 4>;

// The lines of one colour, from (x1, y1) to (x2, y2).
std::vector<Segment> Lines(const std::vector<GraphItem>& items, std::uint32_t colour = 0xFF0000) {
    std::vector<Segment> out;
    for (const GraphItem& i : items)
        if (i.colour == colour) out.push_back({i.x1, i.y1, i.x2, i.y2});
    return out;
}

TEST(Spectrum, MeansAndPlotFollowTheColumnFormula) {
    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {17, 5}, {600, 3}};
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const Raster picture = test::RandomRaster(w, h, unsigned(w * 31 + h));
        const std::vector<double> means = SpectrumColumnMeans(picture);
        ASSERT_EQ(int(means.size()), w);
        std::vector<Segment> expected;
        int prevX = 0, prevY = kSpectrumPlotHeight;
        for (int x = 0; x < w; ++x) {
            double sum = 0;
            for (int y = 0; y < h; ++y) sum += picture.pixel(x, y)[2];
            const double m = sum / h;
            EXPECT_EQ(means[x], m);
            const int px = int(std::trunc(double(x) / w * kSpectrumPlotWidth));
            const int py = int(std::trunc((1 - m * (1.0 / 255)) * kSpectrumPlotHeight));
            if (px >= 0 && px < kSpectrumPlotWidth && py >= 0 && py < kSpectrumPlotHeight)
                expected.push_back({prevX, prevY, px, py});
            prevX = px, prevY = py;
        }
        EXPECT_EQ(Lines(SpectrumPlot(means)), expected);
    }
}

TEST(Spectrum, EdgeProfiles) {
    // A single row: every mean is that row's red byte.
    Raster row(4, 1);
    for (int x = 0; x < 4; ++x) row.pixel(x, 0)[2] = std::uint8_t(60 * x), row.pixel(x, 0)[1] = 7;
    EXPECT_EQ(SpectrumColumnMeans(row), (std::vector<double>{0, 60, 120, 180}));

    // A single column: one segment from (0, PH) to (0, py).
    Raster column(1, 3);
    column.pixel(0, 0)[2] = 0, column.pixel(0, 1)[2] = 0;  // mean 85
    EXPECT_EQ(Lines(SpectrumPlot(SpectrumColumnMeans(column), 100, 30)),
              (std::vector<Segment>{{0, 30, 0, 20}}));

    // Flat 255 runs along py = 0; a column of mean 0 lies outside the area and breaks the line.
    EXPECT_EQ(Lines(SpectrumPlot({255, 255, 0, 255}, 8, 10)),
              (std::vector<Segment>{{0, 10, 0, 0}, {0, 0, 2, 0}, {4, 10, 6, 0}}));

    // No picture: the frame alone, closed at the origin.
    const std::vector<GraphItem> frame = SpectrumPlot({}, 8, 10);
    EXPECT_EQ(frame.size(), 4u);
    EXPECT_EQ(Lines(frame, 0), (std::vector<Segment>{{0, 0, 7, 0}, {7, 0, 7, 9}, {7, 9, 0, 9}, {0, 9, 0, 0}}));
    EXPECT_TRUE(SpectrumColumnMeans(Raster()).empty());
}

TEST(Spectrum, DataFileText) {
    EXPECT_EQ(SpectrumDataText({}), "# MORVEL-2 Spectrum Data \r\n");
    EXPECT_EQ(SpectrumDataText({255, 37.0 / 3, 0, 0.5}),
              "# MORVEL-2 Spectrum Data \r\n0 255\r\n1 12.3333\r\n2 0\r\n3 0.5\r\n");
}

TEST(Spectrum, DataFileGoesIntoAnExistingFolderOnlyAndAFailureNamesIt) {
    test::TempDir dir;
    const std::string path = dir.file("SPN");
    WriteSpectrumData(path, "# x\r\n");
    EXPECT_EQ(test::ReadBytes(path), test::BytesOf("# x\r\n"));

    test::WriteBytes(dir.file("plain"), test::BytesOf("not a folder"));
    // A missing folder is named and not made; a file where the folder should be is refused.
    for (const std::string& failing : {dir.file("data/SPN"), dir.file("plain/SPN")}) {
        try {
            WriteSpectrumData(failing, "# x\r\n");
            ADD_FAILURE() << "no error for " << failing;
        } catch (const FileError& e) {
            EXPECT_EQ(e.path(), failing);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("data")));
}

}  // namespace
}  // namespace nuvak
