#pragma once
// A plot as a list of drawing steps (the tracking graph, the spectrum's profile), so that a
// window paints it and tests can check every coordinate without a screen.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nuvak {

// One drawing step. Colours are 0xRRGGBB.
struct GraphItem {
    enum class Type { Fill, Line, Text, Ellipse } type = Type::Line;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // Line: from (x1, y1) up to (x2, y2); Fill and Ellipse: box
    std::uint32_t colour = 0;
    int penWidth = 1;
    bool dashed = false;
    std::uint32_t fill = 0;  // Ellipse: brush colour
    std::string text;        // Text: at (x1, y1), its top-left corner
};

struct GraphScene {
    std::vector<GraphItem> items;
    // The plot's parameters failed a check: the window shows this, and the scene holds the
    // background alone.
    std::optional<std::string> message;
};

}  // namespace nuvak
