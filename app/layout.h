#pragma once

#include <QRect>
#include <QSize>

// The window's designed geometry, in twips (15 to a pixel at 96 dpi),
// measured from the client area's top-left corner.
namespace velmora::layout {

inline constexpr int kTwipsPerPixel = 15;

struct Twips
{
    int left, top, width, height;
};

inline constexpr int kClientWidth = 5876;
inline constexpr int kClientHeight = 4225;

inline constexpr Twips kLabel1{234, 234, 2119, 364};
inline constexpr Twips kText1{234, 702, 5395, 403};
inline constexpr Twips kLabel2{585, 1287, 4693, 247};
inline constexpr Twips kCommand1{1404, 1755, 2821, 715};
inline constexpr Twips kText2{234, 2808, 5395, 390};
inline constexpr Twips kPlayer{0, 3276, 5863, 832};
inline constexpr Twips kCommand2{8190, 2574, 1417, 832}; // beyond the right edge on purpose

// Point sizes of the two designed fonts.
inline constexpr double kInputFontPt = 10.47; // Label1, Text1
inline constexpr double kResultFontPt = 9.17; // Text2

constexpr int toPixels(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

constexpr QRect toPixels(Twips t)
{
    return QRect(toPixels(t.left), toPixels(t.top), toPixels(t.width), toPixels(t.height));
}

constexpr QSize clientSize()
{
    return QSize(toPixels(kClientWidth), toPixels(kClientHeight));
}

} // namespace velmora::layout
