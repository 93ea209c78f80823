// The text-cue search over arbitrary page text: the input's first bytes choose the page size and
// where ink blocks lie, the rest is UTF-16 text laid out in a fixed-pitch grid with a box per code
// unit (line feeds start new lines). Must never crash or hang.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "signing/SignatureCues.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    const double width = 100 + data[0] * 3;
    const double height = 100 + data[1] * 3;
    DisplaySpace space({0, 0, width, height}, (data[2] & 3) * 90);

    PageText text;
    double x = 20, y = space.bounds.height - 40;
    for (std::size_t i = 8; i + 1 < size && text.text.size() < 4000; i += 2) {
        char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        text.text.push_back(c);
        if (c == u'\n') {
            text.boxes.push_back({});
            x = 20;
            y -= 12;
            continue;
        }
        text.boxes.push_back({x, space.bounds.height - y - 10, 6, 10});
        x += 6;
    }

    GreyImage image;
    image.width = static_cast<int>(std::ceil(space.bounds.width * 2));
    image.height = static_cast<int>(std::ceil(space.bounds.height * 2));
    image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 255);
    // A few ink blocks and rules where the header bytes say.
    for (int k = 0; k < 5; ++k) {
        int bx = data[3 + k] * image.width / 256, by = data[(4 + k) % 8] * image.height / 256;
        for (int r = by; r < std::min(image.height, by + 2 + data[k] % 60); ++r)
            std::memset(
                image.pixels.data() + static_cast<std::size_t>(r) * image.width + bx, 0,
                static_cast<std::size_t>(std::min(image.width - bx, 2 + data[k + 1] % 200)));
    }

    SignatureCues::CuePage page;
    page.space = space;
    page.text = &text;
    page.signatureWidgets = {{data[5] * 1.0, data[6] * 1.0, 100, 40}};
    page.inkMap = [&] { return InkMap::make(image, text, space, {}); };
    SignatureCues::placements(page);
    return 0;
}
