#pragma once

#include <QRect>
#include <cmath>

// Window measurements are designed in twips; 15 twips make one logical pixel.
namespace Twips {

inline constexpr double kPerPixel = 15.0;

// Rounds half-way values to the even neighbour, as the designed layouts expect.
inline int roundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

// Twips to whole logical pixels (nearest, halves to even).
inline int toPixels(double twips) { return roundHalfEven(twips / kPerPixel); }

// Logical pixels to twips.
inline double fromPixels(int pixels) { return pixels * kPerPixel; }

// A designed rectangle (left, top, width, height in twips) in pixels.
inline QRect rect(double left, double top, double width, double height) {
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

}  // namespace Twips
