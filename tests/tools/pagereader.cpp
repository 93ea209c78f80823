// pagereader: reads every page of a PDF through the page process, in order, as the application's
// readers do: the page's words (the next page's asked for ahead meanwhile), then a tile of its top
// corner. One line a page, then a summary; a page that could not be read is named.
//
//   pagereader FILE
//   página 1: 14 caracteres
//   ...
//   leídas 300 páginas; sin leer: 0

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "pages/PageProcess.h"
#include "support/TestUtil.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "uso: pagereader FICHERO\n");
        return 2;
    }
    std::string bytes;
    try {
        bytes = testutil::readFile(argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::unique_ptr<PageProcess> pages = PageProcess::open(bytes);
    if (!pages) {
        std::fprintf(stderr, "no es un PDF que se pueda leer\n");
        return 1;
    }
    const int count = pages->pageCount();
    int unread = 0;
    for (int i = 0; i < count; ++i) {
        const std::optional<std::u16string> words = pages->words(i);
        const auto tile = pages->tile(i, 1.0, 0, 0, 512, 512);
        if (!words || !tile) {
            ++unread;
            std::printf("página %d: sin leer\n", i + 1);
        } else {
            std::printf("página %d: %zu caracteres\n", i + 1, words->size());
        }
        std::fflush(stdout);
    }
    std::printf("leídas %d páginas; sin leer: %d\n", count, unread);
    return unread == 0 ? 0 : 1;
}
