// pagereader: reads every page of a PDF through the page process, in order, as the placement search
// does: the page's words, then some work of its own on them (10 ms) while the next page's words
// are asked for ahead; every tenth page is drawn in grey too (an answer larger than a socket
// holds), after a line that says so. One line a page, written before the work on it, then a
// summary; a page that could not be read is named.
//
//   pagereader FILE
//   dibujando la página 1
//   página 1: 14 caracteres
//   ...
//   leídas 300 páginas; sin leer: 0

#include <chrono>
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
        bool drawn = true;
        if (i % 10 == 0) {
            std::printf("dibujando la página %d\n", i + 1);
            std::fflush(stdout);
            drawn = pages->render(i, 2.0, 40'000'000).has_value();
        }
        if (!words || !drawn) {
            ++unread;
            std::printf("página %d: sin leer\n", i + 1);
        } else {
            std::printf("página %d: %zu caracteres\n", i + 1, words->size());
        }
        std::fflush(stdout);
        // The reader's own work on the page.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(10);
        volatile unsigned sum = 0;
        while (std::chrono::steady_clock::now() < until) {
            for (char16_t c : words.value_or(u"")) sum = sum * 31 + c;
        }
    }
    std::printf("leídas %d páginas; sin leer: %d\n", count, unread);
    return unread == 0 ? 0 : 1;
}
