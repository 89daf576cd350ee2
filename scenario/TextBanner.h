// TextBanner: the bitmap with the message that the viewer lets drift over
// the screen when no scenario could be loaded. The message is the caller's,
// in the user's language (DisplayText::MissingDataBanner).
//
// MakeTextBanner first picks the font size against a bitmap of BannerLimit
// width (half the client width, rounded down, but at most 480 pixels: 320
// on a 640-pixel viewer, 480 on a 1024-pixel one) and 120 pixels of height:
// from 24 points down by 2 while the message is wider than that and the size
// is above 4. The banner is then the message's cell
// plus 4 pixels on every side. The message is drawn four times as large
// (four times the size, at (16, 16)) on a bitmap four times as wide and
// high, filled with the form's colour, and shrunk onto the banner by area
// averaging, which smooths the letters whatever the text renderer does.
//
// Should any of that fail (an exception, a buffer that cannot be attached,
// a shrink that is refused, or a large bitmap beyond the largest pixel
// buffer), the banner is filled with the form's colour and the message drawn
// on it directly at (4, 4) at the chosen size. Errors of that fall-back
// itself (memory) propagate.
//
// Colours are window-system colours 0x00BBGGRR, as the form's colour and its
// font colour are given (black 0, white 0x00FFFFFF). The result is never
// null, 32 bits per pixel, rows bottom-up; its alpha bytes are 0 wherever
// the form's colour has a 0 top byte (the fill stores the converted colour
// whole, and the renderer leaves 0 where it draws).
#pragma once

#include "platform/TBitmap.h"
#include "platform/TextRenderer.h"

#include <cstdint>
#include <memory>
#include <string_view>

constexpr int32_t BannerMaximumWidth = 480;
constexpr int32_t BannerLimitHeight = 120;
constexpr int32_t BannerStartPoints = 24;
constexpr int32_t BannerSmallestPoints = 4;
constexpr int32_t BannerPointsStep = 2;
constexpr int32_t BannerMargin = 4;  // pixels of form colour around the message
constexpr int32_t BannerScale = 4;   // the large drawing's size factor

// The width the font size is chosen against: min(clientWidth / 2, 480); a
// negative client width counts as 0.
int32_t BannerLimitWidth(int32_t clientWidth);

// The font size in points: 24, lowered by 2 while `message` is wider than
// limitWidth and the size is above 4.
int32_t ChooseBannerPoints(std::string_view message, int32_t limitWidth, TextRenderer& text);

std::unique_ptr<TMemoryBitmap> MakeTextBanner(std::string_view message, int clientWidth, uint32_t formColour,
                                              uint32_t fontColour, TextRenderer& text);
