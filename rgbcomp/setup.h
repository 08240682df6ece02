#pragma once
// The set-up of an RGB composite as numbers: what the workbench and its advanced settings
// window hold, what the project file stores and what the composite run reads. The window
// converts its field texts into this (a text that is not a number stops with the conversion
// error) and shows it back; the command line loads it from a project file.

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/error.h"

namespace nuvak {

// The ten integers of the advanced settings window, held for the whole program. The run
// reads the six channel flags; the blooming values are only stored.
struct AdvancedCompositeSettings {
    int bloomingEnable = 0;  // 1 when "有効にする" is checked
    int bloomingThreshold = 60000;
    int bloomingThickness = 2;
    int bloomingLength = 5;
    std::array<int, 3> turn{};   // 180-degree turn of red, green, blue frames (1 or 0)
    std::array<int, 3> slope{};  // background-slope removal of red, green, blue (1 or 0)

    bool operator==(const AdvancedCompositeSettings&) const = default;
};

// The frame lists, in the order of the workbench's groups.
enum FrameList { kRedFrames = 0, kGreenFrames, kBlueFrames, kDarkFrames, kFlatFrames, kFrameListCount };

// Reference-star modes: "なし", "１星", "２星" (the numbers the project file stores).
enum StarMode { kNoStar = 0, kOneStar = 1, kTwoStars = 2 };

struct RGBCompositeSetup {
    std::array<std::vector<std::string>, kFrameListCount> lists;  // full paths, list order
    int starMode = kNoStar;
    int x1 = 0, y1 = 0, delta1 = 10;            // star 1 and its search half-width
    int x2 = 0, y2 = 0, delta2 = 10;            // star 2 and its search half-width
    int detect = 1;                             // peak detection: 0 centroid, 1 peak, 2 none (stored only)
    int bx = 0, by = 0, bgl = 10;               // background point and background level
    double r = 1.0, g = 1.0, b = 1.0, k = 1.0;  // white balance: R, G, B divide, K multiplies
    AdvancedCompositeSettings advanced;

    bool operator==(const RGBCompositeSetup&) const = default;
};

// The composite run or a project load stops with a message for the user (UTF-8, as shown).
class CompositeError : public Refusal {
public:
    using Refusal::Refusal;
};

}  // namespace nuvak
