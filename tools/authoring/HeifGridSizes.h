// HeifGridSizes: the picture sizes that the grid items of a HEIF file
// declare, read from its meta box without libheif.
//
// A grid item (a picture put together from coded tiles, as phones store
// their photos) carries its output size in its own data, which libheif 1.15
// neither shows through its API nor checks against the size the item's
// properties give: it allocates the picture the grid names. Reading the
// sizes first lets the decoder refuse an over-large picture before that.
//
// Walks: the top-level boxes up to meta; in it iinf (the items' types), iloc
// (where each item's data is: in the file, or in meta's idat) and idat.
// Every read is bounded by the bytes it is given (untrusted, owned by the
// caller). A file without a meta box, or without grid items, gives an empty
// list. Throws PictureSourceError with a one-line reason when a box that is
// walked is damaged or a grid's data cannot be found.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct HeifGridSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

std::vector<HeifGridSize> HeifGridSizes(std::span<const uint8_t> file);
