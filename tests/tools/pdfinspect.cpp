// Test driver of the PDF engine.
//
//   pdfinspect FILE              one JSON line: pages, encrypted, reconstructed, xrefStream, size
//   pdfinspect FILE --object N   object N (generation 0) in the serializer's form, strings
//                                decrypted, stream data still filtered
//   pdfinspect FILE --stream N   stream N's data decrypted and decoded, to standard output
//   pdfinspect FILE --update OUT writes OUT: FILE plus one incremental update adding a dictionary
//                                with a non-ASCII text string, referenced from the catalog under
//                                /TindraNota
//
// On failure: the error's Spanish sentence on standard error, exit status 1.

#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFFilters.h"
#include "pdf/PDFSerializer.h"
#include "pdf/PDFUpdate.h"
#include "platform/FileData.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

struct Options {
    std::string file;
    std::string command;  // "", "--object", "--stream" or "--update"
    std::int64_t number = 0;
    std::string output;   // of --update
};

bool parseArguments(int argc, char** argv, Options& options) {
    if (argc != 2 && argc != 4) return false;
    options.file = argv[1];
    if (argc == 2) return true;
    options.command = argv[2];
    if (options.command == "--update") {
        options.output = argv[3];
        return !options.output.empty();
    }
    if (options.command != "--object" && options.command != "--stream") return false;
    try {
        std::size_t used = 0;
        options.number = std::stoll(argv[3], &used);
        return used == std::string(argv[3]).size();
    } catch (const std::exception&) {
        return false;
    }
}

void writeOut(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

const char* flag(bool value) { return value ? "true" : "false"; }

// One new object with a text string, and the catalog re-set to reference it.
int update(PDFFile& file, const std::string& output) {
    const auto catalogRef = file.catalogRef();
    const PDFDictionary* catalog = file.catalog();
    if (!catalogRef || !catalog) throw PDFError("El PDF no tiene catálogo");
    PDFUpdate update(file);
    const PDFRef note = update.allocate();
    update.set(note, PDFObject::dictionary(PDFDictionary{
                         {"Type", PDFObject::name("TindraNota")},
                         {"Texto", PDFObject::text("Firmado en C\u00E1diz \u00B7 \u00F1")},
                     }));
    PDFDictionary changed = *catalog;
    changed.set("TindraNota", PDFObject::reference(note));
    update.set(*catalogRef, PDFObject::dictionary(std::move(changed)));
    const std::string data = update.write().data;
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) throw PDFError("No se puede escribir el fichero " + output);
    return 0;
}

int inspect(const Options& options) {
    // The file is mapped, not read: opening touches only what it needs.
    std::shared_ptr<const FileData::Mapping> input;
    try {
        input = FileData::map(options.file);
    } catch (const std::runtime_error&) {
        throw PDFError("No se puede leer el fichero " + options.file);
    }
    PDFFile file(input->bytes(), input);
    if (options.command.empty()) {
        const auto pages = file.pageRefs().size();
        writeOut("{\"pages\": " + std::to_string(pages) + ", \"encrypted\": " + flag(file.isEncrypted()) +
                 ", \"reconstructed\": " + flag(file.wasReconstructed()) + ", \"xrefStream\": " +
                 flag(file.usesXRefStream()) + ", \"size\": " + std::to_string(file.size()) + "}\n");
        return 0;
    }
    if (options.command == "--update") return update(file, options.output);
    const PDFObject* object = file.object(PDFRef(options.number, 0));
    if (!object) throw PDFError("El PDF no tiene el objeto " + std::to_string(options.number));
    if (options.command == "--object") {
        writeOut(PDFSerializer::data(*object));
        return 0;
    }
    const PDFStream* stream = object->stream();
    if (!stream) throw PDFError("El objeto " + std::to_string(options.number) + " no es un stream");
    writeOut(PDFFilters::decode(stream->data, stream->dictionary));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseArguments(argc, argv, options)) {
        std::cerr << "Uso: pdfinspect FICHERO [--object N | --stream N | --update SALIDA]\n";
        return 2;
    }
    try {
        return inspect(options);
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
}
