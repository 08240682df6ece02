#include <gtest/gtest.h>

#include "core/format.h"
#include "workspace/viewing.h"

namespace nuvak {
namespace {

TEST(Zoom, PowersOfTwoBetweenASixteenthAndSixteen) {
    double z = 1;
    for (int i = 0; i < 4; ++i) z = *ZoomIn(z);
    EXPECT_EQ(z, 16);
    EXPECT_EQ(ZoomPercentText(z), "1600.0%");
    EXPECT_FALSE(ZoomIn(z));  // a fifth press changes nothing
    z = 1;
    for (int i = 0; i < 4; ++i) z = *ZoomOut(z);
    EXPECT_EQ(z, 0.0625);
    EXPECT_EQ(ZoomPercentText(z), "6.2%");  // 6.25 printed with one decimal
    EXPECT_EQ(FormatGeneral(z), "0.0625");
    EXPECT_FALSE(ZoomOut(z));
    EXPECT_EQ(ZoomPercentText(1), "100.0%");
    EXPECT_EQ(ZoomPercentText(0.5), "50.0%");
}

TEST(BrightnessSteps, UpperLevelInExtendedPrecision) {
    // 800 times the double nearest 1.2 lies just below 960: in extended precision the sum
    // stays below 1960 and truncates to 1959, where double arithmetic would give 1960.
    const int h = SteppedUpperLevel(2000, 1000, true);
    EXPECT_EQ(h, 1800);
    EXPECT_EQ(SteppedUpperLevel(h, 1000, false), 1959);
    EXPECT_EQ(SteppedUpperLevel(2000, 1000, false), 2199);
    EXPECT_EQ(SteppedUpperLevel(1001, 1000, true), 1000);  // one level apart: H meets the lower level
    // Levels the wrong way round: -500 times the double nearest 0.8 lies just below -400.
    EXPECT_EQ(SteppedUpperLevel(500, 1000, true), 599);
}

TEST(BrightnessSteps, ColourGainIsCumulativeOnTheMaster) {
    const double twice = SteppedGain(SteppedGain(1.0, true), true);
    EXPECT_EQ(FormatGeneral(twice), "1.21");
    Raster master(2, 1);
    master.pixel(0, 0)[0] = 220;
    master.pixel(0, 0)[1] = 100;
    master.pixel(0, 0)[2] = 0;
    const Raster shown = ApplyGain(master, twice);
    EXPECT_EQ(shown.pixel(0, 0)[0], 255);
    EXPECT_EQ(shown.pixel(0, 0)[1], 121);
    EXPECT_EQ(shown.pixel(0, 0)[2], 0);
    // "H" then "L" gives back the master's look.
    EXPECT_EQ(ApplyGain(master, SteppedGain(GeneralDecimal(SteppedGain(1.0, true)), false)), master);
}

TEST(Readout, TextPerKindAtTheZoom) {
    ImageDocument d;
    d.FilterI = ImageKind::Colour;
    d.Image = Raster(4, 3);
    std::uint8_t* p = d.Image.pixel(2, 1);
    p[0] = 30;  // blue
    p[1] = 20;  // green
    p[2] = 10;  // red
    d.ZomN = 2;
    EXPECT_EQ(ReadoutText(d, 5, 3), "R=10  G=20  B=30   (2,1)");
    d.ZomN = 0.5;
    EXPECT_EQ(ReadoutText(d, 1, 0), "R=255  G=255  B=255   (2,0)");
    EXPECT_FALSE(ReadoutText(d, 2, 0));  // off the raster
    d.FilterI = ImageKind::Mono16;
    d.ZomN = 1;
    EXPECT_EQ(ReadoutText(d, 3, 2), "(3,2)");
    d.FilterI = ImageKind::PgmColour;
    EXPECT_FALSE(ReadoutText(d, 3, 2));
}

TEST(MemoryGauge, WholePercent) {
    EXPECT_EQ(MemoryLoadText(37), "37%");
    EXPECT_EQ(MemoryLoadText(100), "100%");
}

}  // namespace
}  // namespace nuvak
