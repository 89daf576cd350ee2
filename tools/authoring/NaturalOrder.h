// NaturalOrder: file names in the order people expect of numbered photos,
// "img2" before "img10".
//
// Names are compared in runs: a run of ASCII digits against a run of digits
// by its value (any length; leading zeros do not count), other bytes against
// other bytes with ASCII letters folded to lower case. Names that are equal
// that way (such as "img01" and "img1", or "A" and "a") fall back to plain
// byte order, so the order is total and the same on every machine. Bytes
// beyond ASCII (UTF-8 names) compare as bytes, which keeps code-point order.
#pragma once

#include <string_view>

// True when a comes before b.
bool NaturalLess(std::string_view a, std::string_view b);
