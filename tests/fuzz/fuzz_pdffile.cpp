// Opens arbitrary bytes as a PDF file and reads everything a caller would: every listed object,
// the page tree with inherited attributes, and the decoded data of every stream.
#include <cstddef>
#include <cstdint>
#include <string>

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
