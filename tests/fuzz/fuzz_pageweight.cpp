// Weighs arbitrary bytes opened as a PDF: every page's declared images and content, through
// nested forms, patterns and the content filters, must be judged in bounded time and memory.
#include <cstddef>
#include <cstdint>
#include <string>

#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pages/content/PageWeight.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        PDFFile file(std::string(reinterpret_cast<const char*>(data), size));
        for (const PageWeight& weight : PageWeights::of(file)) {
            (void)PageWeights::renderable(weight, 2.0);
        }
    } catch (const PDFError&) {
    } catch (const PDFSecurity::Failure&) {
    }
    return 0;
}
