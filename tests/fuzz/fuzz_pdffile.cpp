// Opens arbitrary bytes as a PDF file and reads everything a caller would: every listed object,
// the page tree with inherited attributes, and the decoded data of every stream; then writes the
// update the page processes' copy ends with, and opens the copy.
#include <cstddef>
#include <cstdint>
#include <string>

#include "pages/PageCopy.h"
#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFFilters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        PDFFile file(std::string(reinterpret_cast<const char*>(data), size));
        for (PDFRef page : file.pageRefs()) {
            file.inherited("Rotate", page);
            file.inherited("Resources", page);
        }
        file.catalog();
        (void)file.size();
        if (const std::string update = PageCopy::update(file); !update.empty()) {
            try {
                PDFFile copy(std::string(file.bytes()) + update);
                (void)copy.pageRefs();
            } catch (const PDFError&) {
            }
        }
        int streams = 0;
        for (const auto& entry : file.entries()) {
            const PDFObject* object = file.object(PDFRef(entry.first));
            if (!object || !object->stream() || ++streams > 64) continue;
            try {
                PDFFilters::decode(object->stream()->data, object->stream()->dictionary);
            } catch (const PDFError&) {
            }
        }
    } catch (const PDFError&) {
    } catch (const PDFSecurity::Failure&) {
    }
    return 0;
}
