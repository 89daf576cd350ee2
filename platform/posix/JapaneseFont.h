// JapaneseFont: which font file the POSIX text renderer opens for the
// viewer's Japanese gothic typeface. Debian's usual files are tried first, by
// their fixed paths, so that the same machine always draws with the same face;
// only when none of them is there is fontconfig asked for a font that covers
// Japanese, so that other distributions and font packages work too.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

// The file of fontconfig's best match for Japanese sans-serif text (lang=ja),
// when that font covers Japanese and is an outline font; nothing when
// fontconfig knows no such font (or cannot load its configuration).
std::optional<std::string> FontconfigJapaneseFont();

// The files to try, in order: `knownFiles`, then, when not one of them exists,
// FontconfigJapaneseFont().
std::vector<std::string> JapaneseFontFiles(std::span<const std::string> knownFiles);
