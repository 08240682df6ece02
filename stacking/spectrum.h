#pragma once
// The spectrum plot: the intensity profile of an image holding a spectrum spread across it.
// Every column's red channel is averaged over the rows; the means go to a data file and are
// drawn as a red line. The plot is a list of drawing steps, so that the spectrum window only
// paints it and tests can check every coordinate without a screen.

#include <string>
#include <vector>

#include "core/graph.h"
#include "core/raster.h"

namespace nuvak {

// The plot area of the spectrum window.
inline constexpr int kSpectrumPlotWidth = 513;
inline constexpr int kSpectrumPlotHeight = 393;

// For every column x = 0 ... W-1 of the picture (the display picture Image of the active
// document), the mean of the red bytes of rows 0 ... H-1: their sum in double precision
// divided by H. The profile always spans the whole picture. An empty picture has no columns.
std::vector<double> SpectrumColumnMeans(const Raster& picture);

// The data file text: the line "# MORVEL-2 Spectrum Data " (trailing blank kept), then per
// column its number, a blank and the mean as C's %g (6 significant digits, C locale). Every
// line ends in CR LF, as the results file of the tracking measurement does.
std::string SpectrumDataText(const std::vector<double>& means);

// The drawing steps on a plot area of width x height: the black frame (0, 0) -> (W-1, 0) ->
// (W-1, H-1) -> (0, H-1) -> (0, 0), then the red profile. Column x (of n) plots at
// px = trunc(x / n * width), py = trunc((1 - m * (1/255)) * height); a line runs from the
// previous point (at first (0, height)) to (px, py) only when that point lies inside the area,
// and the point becomes the previous one either way, so a column of mean 0 (py = height)
// breaks the line. Lines are drawn as the tracking graph's are, up to their end point.
// Without a picture, pass no means: the frame alone is drawn. The area is never cleared:
// the window paints these steps over what earlier runs left.
std::vector<GraphItem> SpectrumPlot(const std::vector<double>& means, int width = kSpectrumPlotWidth,
                                    int height = kSpectrumPlotHeight);

// Where the data file goes: "d:\data\SPN" on Windows, "data/SPN" in the home folder
// elsewhere (in the current folder when HOME is not set).
std::string SpectrumDataPath();

// Writes the data text to path, through a temporary file. No folder is created: throws
// FileError naming path (and the folder) when its folder is missing, or naming path when the
// file cannot be written; the window shows its text and still draws the plot.
void WriteSpectrumData(const std::string& path, const std::string& text);

}  // namespace nuvak
