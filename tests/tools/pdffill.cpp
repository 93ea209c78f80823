// Test-only driver of the form filler:
//   pdffill IN FILLS.json OUT
// FILLS.json is a JSON array of fills in their stored coding ({"name", "pageIndex", "rect":
// [[x, y], [w, h]], "text", and optionally "drawn", "size", "centered"}). Writes the filled copy
// of IN to OUT (an empty array copies IN unchanged); OUT is replaced only when complete. Exit 0,
// or the Spanish sentence on standard error and exit 1.

#include <exception>
#include <iostream>
#include <nlohmann/json.hpp>

#include "forms/fill/FormFill.h"
#include "forms/fill/FormFiller.h"
#include "platform/AtomicFile.h"
#include "platform/FileData.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "uso: pdffill IN FILLS.json OUT\n";
        return 2;
    }
    try {
        std::string pdf = FileData::read(argv[1]);
        const std::string text = FileData::read(argv[2]);
        const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
        if (json.is_discarded())
            throw FormFill::DecodeError("Los datos del formulario no son un JSON válido.");
        const std::vector<FormFill> fills = FormFill::listFromJSON(json);
        AtomicFile::write(argv[3], FormFiller::fill(std::move(pdf), fills));
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    return 0;
}
