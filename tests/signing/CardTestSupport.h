#pragma once
// Shared by the card and handwriting tests: a fixed text measurer, sample certificates, a pinned
// time zone and helpers that read renderings back.

#include <unicode/timezone.h>

#include <cctype>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "signing/CardLayout.h"
#include "signing/Certificate.h"
#include "signing/RasterImage.h"

namespace cardtest {

// Every character is half its font size wide plus the letter spacing; lines are 1.2 high.
class FixedMeasurer : public TextMeasurer {
public:
    Size measure(const std::vector<TextRun>& runs) const override {
        double width = 0;
        double height = 0;
        for (const TextRun& run : runs) {
            const double characters = static_cast<double>(run.text.size());
            width += characters * (run.fontSize * 0.5 + run.letterSpacing);
            height = std::max(height, run.fontSize * 1.2);
        }
        return {width, height};
    }
};

// Dates format in Madrid time while it lives.
class MadridTime {
public:
    MadridTime() : saved_(icu::TimeZone::createDefault()) {
        icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("Europe/Madrid"));
    }
    ~MadridTime() { icu::TimeZone::adoptDefault(saved_); }

private:
    icu::TimeZone* saved_;
};

// 15 January 2026, 10:30:45 UTC (11:30:45 in Madrid).
inline std::chrono::system_clock::time_point sampleDate() {
    return std::chrono::system_clock::time_point(std::chrono::seconds(1768473045));
}

inline Certificate personalCertificate() {
    Certificate c;
    c.name = "ESPAÑOL PÉREZ JUAN - 12345678Z";
    c.issuer = "FNMT-RCM";
    c.sha1 = std::string(40, 'A');
    c.holder = "Juan Español Pérez";
    c.givenName = "Juan";
    c.surnames = "Español Pérez";
    c.idNumber = "12345678Z";
    c.authority = "AC FNMT Usuarios";
    c.serialNumber = "0A1B2C";
    return c;
}

inline Certificate representativeCertificate() {
    Certificate c = personalCertificate();
    c.organization = "EMPRESA EJEMPLO SL";
    c.organizationID = "B12345678";
    c.authority = "AC Representación";
    return c;
}

// Pixels whose alpha is not zero, in a column/row window of a rendered bitmap.
inline int inkCount(const RasterImage& image, int x0, int y0, int x1, int y1) {
    int count = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, image.height); ++y) {
        for (int x = std::max(x0, 0); x < std::min(x1, image.width); ++x) {
            if (image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4 + 3] != 0) ++count;
        }
    }
    return count;
}

// A binary PPM (P6, 8 bits) as written by pdftoppm; empty when the data are not one.
struct Pixmap {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    const unsigned char* at(int x, int y) const {
        return &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    }
    // Pixels darker than near-white in any channel, in [x0, x1) x [y0, y1) (rows from the top).
    int nonWhite(int x0, int y0, int x1, int y1) const {
        int count = 0;
        for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
            for (int x = std::max(x0, 0); x < std::min(x1, width); ++x) {
                const unsigned char* p = at(x, y);
                if (p[0] < 250 || p[1] < 250 || p[2] < 250) ++count;
            }
        return count;
    }
    int nonWhite() const { return nonWhite(0, 0, width, height); }
};

inline Pixmap readPPM(const std::string& ppm) {
    std::size_t pos = 0;
    auto token = [&]() {
        while (pos < ppm.size() && std::isspace(static_cast<unsigned char>(ppm[pos]))) ++pos;
        const std::size_t start = pos;
        while (pos < ppm.size() && !std::isspace(static_cast<unsigned char>(ppm[pos]))) ++pos;
        return ppm.substr(start, pos - start);
    };
    Pixmap pixmap;
    if (token() != "P6") return pixmap;
    const int width = std::stoi(token());
    const int height = std::stoi(token());
    if (token() != "255") return pixmap;
    ++pos;
    const std::size_t size = static_cast<std::size_t>(width) * height * 3;
    if (ppm.size() - pos < size) return pixmap;
    pixmap.width = width;
    pixmap.height = height;
    pixmap.rgb.assign(ppm.begin() + static_cast<std::ptrdiff_t>(pos),
                      ppm.begin() + static_cast<std::ptrdiff_t>(pos + size));
    return pixmap;
}

}  // namespace cardtest
