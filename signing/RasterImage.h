#pragma once
// A decoded raster picture held by value: 8-bit RGBA with premultiplied alpha, rows from the top.

#include <cstdint>
#include <vector>

struct RasterImage {
    int width = 0;   // pixels
    int height = 0;  // pixels
    // width * height * 4 bytes: red, green, blue, alpha per pixel; colour premultiplied by alpha.
    std::vector<std::uint8_t> rgba;

    bool isEmpty() const { return width <= 0 || height <= 0; }
};
