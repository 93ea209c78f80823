#pragma once
// A page source with no pages: a document is then read without its page text or images.

#include "pages/PageText.h"

class NoPages final : public PageSource {
public:
    int pageCount() const override { return 0; }
    std::optional<PageText> text(int) const override { return std::nullopt; }
    std::optional<GreyImage> render(int, double, std::int64_t) const override {
        return std::nullopt;
    }
};
