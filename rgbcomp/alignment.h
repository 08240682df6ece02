#pragma once
// Star search and frame alignment of the RGB composite: the brightest pixel and the
// intensity centroid near a reference star, the clamping of the typed coordinates, the
// reference geometry of two stars and the whole-pixel shift of each frame.

#include <cstdint>
#include <string>

#include "core/arrays.h"
#include "core/error.h"
#include "rgbcomp/setup.h"

namespace nuvak {

// What FindStar found.
enum StarSearch {
    kStarFound = 0,
    kStarNoPeak = 1,      // no value in the search window above 0: px, py, cx, cy untouched
    kStarNoCentroid = 2,  // the block around the peak sums to 0: px, py set, cx, cy untouched
};

// The brightest pixel of c in the window x - delta .. x + delta (columns, outer) by
// y - delta .. y + delta (rows, inner), the first of equal maxima in that order, into px, py;
// then the centroid of the 7 x 7 block around it (clipped to the w x h frame) into cx, cy.
// The search window is clipped to the frame as well.
int FindStar(int w, int h, int x, int y, int delta, int& px, int& py, double& cx, double& cy, const IntArray2D& c);

// The star and background coordinates of the set-up clamped so that the search windows and
// the background point keep their margins inside a w x h frame: lower bounds first (delta1,
// delta2, bgl), then upper bounds (w - margin - 1, h - margin - 1).
void ClampCoordinates(int w, int h, RGBCompositeSetup& setup);

// Distance and direction from star 1 to star 2 (radians, principal value of the arctangent).
struct StarPair {
    double distance = 0;
    double angle = 0;
};

// Why a frame cannot be aligned; the run turns it into the user's message with the frame's
// name and the set-up (what() alone names only the fault).
class AlignmentFault : public Refusal {
public:
    enum Kind { NoPeak, NoCentroid, SameX, SameCentroid };
    AlignmentFault(Kind k, int s) : Refusal(describe(k, s)), kind(k), star(s) {}
    Kind kind;
    int star;  // 1 or 2 for NoPeak and NoCentroid

private:
    static std::string describe(Kind k, int s);
};

// The reference geometry measured on a frame (the first green one, dark subtracted): the
// centroids of both stars of the clamped set-up. Throws AlignmentFault.
StarPair MeasureStarPair(int w, int h, const RGBCompositeSetup& setup, const IntArray2D& frame);

// Whole-pixel shift of a frame: output (x, y) takes frame (x + dx, y + dy).
struct FrameShift {
    int dx = 0;
    int dy = 0;
};

// Aligns one calibrated frame to the clamped set-up: none for kNoStar; the star-1 peak for
// kOneStar; for kTwoStars first scaled (ScaleArray2D) and rotated (RotateArray2D, when the
// angle is not 0) in place to the reference pair, then the peak after the rotation. Throws
// AlignmentFault. scratch, when given (w x h), serves the resampling as its work array.
FrameShift AlignFrame(int w, int h, const RGBCompositeSetup& setup, const StarPair& reference, IntArray2D& frame,
                      IntArray2D* scratch = nullptr);

namespace detail {
// ScaleArray2D and RotateArray2D with the same results, into the work array q (w x h, any
// contents) when given: a copy when k is 1 (each pixel then lands on itself whole, the last
// column and row receive nothing, the values are clamped to 0 ... 65535), else the same
// splatting with the positions taken from per-column and per-row terms; for frames of 0 ...
// 2^22 with the shares added as whole numbers, many at a time, where that gives the same sums
// (alignment.cpp tells when), and one by one otherwise.
void ScaleFrame(double k, int w, int h, IntArray2D& a, IntArray2D* q = nullptr);
// bounded: a holds only 0 ... 65535 (as every scaled frame does), which spares the check of
// its range.
// Both work out their shares in AVX2 lanes where core/simd.h allows them, else in portable
// lanes, with the same results.
void RotateFrame(double theta, int w, int h, IntArray2D& a, IntArray2D* q = nullptr, bool bounded = false);
}  // namespace detail

}  // namespace nuvak
