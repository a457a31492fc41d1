// SPDX-License-Identifier: MIT
#pragma once

#include <QRect>

// Window layouts are given in twips; at 96 dots per inch one pixel is 15 twips.
constexpr int TwipsPerPixel = 15;

constexpr int px(int twips)
{
    return twips / TwipsPerPixel;
}
constexpr int twips(int pixels)
{
    return pixels * TwipsPerPixel;
}
inline QRect twipsRect(int x, int y, int w, int h)
{
    return QRect(px(x), px(y), px(w), px(h));
}
