// pdfform FILE [--rules|--ai] [--facts FACTS.json] [--cert CERT.pem] [--date YYYY-MM-DD]
// FACTS.json holds saved facts as the Mis datos store keeps them; with --ai their values are
// masked out of the requests as the application masks them.
// Reads a PDF form and prints one JSON object:
//   "fields": every field of FormReader::fields (index = id from 1, name, kind "text", "check" or
//             "choice", 0-based pageIndex, rect [x, y, w, h] in page space, caption = the first
//             non-empty of left, above and tooltip, section or null, drawn);
//   "units":  FormReader::units in order (index = unit id, fields = their ids, pageIndex);
//   "labels": the labels of the units ({"unit", "who", "what"}), when labelling ran (--rules,
//             --ai, --facts or --cert);
//   "plan":   the fill plan ({"field", "value", "state", "source"}), when --facts or --cert is
//             given;
//   "reading": how far the reading went ({"pagesRead", "pageCount", "stopped", "cut",
//             "pagesWhole"}).
// --time-limit SECONDS replaces the time each page adds to the reader's time limit.
// Exit 0; a file that does not open: its Spanish sentence on standard error, exit 1; bad usage:
// exit 2.

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <memory>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>

#include "forms/ai/JevLabeler.h"
#include "forms/labels/FieldLabeler.h"
#include "forms/plan/FormPlan.h"
#include "forms/reader/FormReader.h"
#include "pdf/PDFFile.h"
#include "pages/NoPages.h"
#include "pages/PageProcess.h"
#include "pages/content/PageWeight.h"
#include "profile/ProfileStore.h"
#include "signing/Certificate.h"

namespace {

constexpr const char* usage =
    "uso: pdfform FICHERO [--rules|--ai] [--facts DATOS.json] [--cert CERT.pem] "
    "[--date AAAA-MM-DD] [--time-limit SEGUNDOS]\n";

struct Options {
    std::string path;
    bool ai = false;         // --ai; --rules (the default) labels by the rules
    bool labelling = false;  // --rules or --ai given
    std::optional<std::string> facts;
    std::optional<std::string> cert;
    std::optional<std::string> date;
    std::optional<double> timeLimit;  // seconds
};

bool isDate(const std::string& s) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

std::optional<Options> parse(int argc, char** argv) {
    Options o;
    bool havePath = false, haveMode = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--rules" || arg == "--ai") {
            if (haveMode) return std::nullopt;
            haveMode = true;
            o.labelling = true;
            o.ai = arg == "--ai";
        } else if (arg == "--facts" || arg == "--cert" || arg == "--date") {
            if (i + 1 >= argc) return std::nullopt;
            std::optional<std::string>& slot = arg == "--facts"  ? o.facts
                                               : arg == "--cert" ? o.cert
                                                                 : o.date;
            if (slot) return std::nullopt;
            slot = std::string(argv[++i]);
        } else if (arg == "--time-limit") {
            if (i + 1 >= argc || o.timeLimit) return std::nullopt;
            char* end = nullptr;
            const double seconds = std::strtod(argv[++i], &end);
            if (!end || *end || !(seconds > 0) || seconds > 86'400) return std::nullopt;
            o.timeLimit = seconds;
        } else if (!havePath && arg.rfind("--", 0) != 0) {
            havePath = true;
            o.path = arg;
        } else {
            return std::nullopt;
        }
    }
    if (!havePath || (o.date && !isDate(*o.date))) return std::nullopt;
    return o;
}

std::string kindName(FormField::Kind kind) {
    switch (kind) {
        case FormField::Kind::text:
            return "text";
        case FormField::Kind::check:
            return "check";
        case FormField::Kind::choice:
            return "choice";
    }
    return "";
}

std::string caption(const FormField& f) {
    if (!f.left.empty()) return f.left;
    if (!f.above.empty()) return f.above;
    return f.tooltip.value_or("");
}

nlohmann::json fieldsJSON(const std::vector<FormField>& fields) {
    nlohmann::json out = nlohmann::json::array();
    for (const FormField& f : fields)
        out.push_back({
            {"index", f.id},
            {"name", f.name},
            {"kind", kindName(f.kind)},
            {"pageIndex", f.pageIndex},
            {"rect", {f.rect.x, f.rect.y, f.rect.width, f.rect.height}},
            {"caption", caption(f)},
            {"section", f.section ? nlohmann::json(*f.section) : nlohmann::json(nullptr)},
            {"drawn", f.drawn},
        });
    return out;
}

nlohmann::json unitsJSON(const std::vector<FormUnit>& units) {
    nlohmann::json out = nlohmann::json::array();
    for (const FormUnit& u : units) {
        nlohmann::json ids = nlohmann::json::array();
        for (const FormField& f : u.fields) ids.push_back(f.id);
        out.push_back({{"index", u.id()}, {"fields", ids}, {"pageIndex", u.first().pageIndex}});
    }
    return out;
}

std::vector<SavedFact> planFacts(const Options& o);

// The labeller of --ai and --rules. --ai labels through the AI service as the application does
// (OPENROUTER_API_KEY, TINDRA_AI_BASE_URL and XDG_STATE_HOME point it at a service and a log),
// with the saved facts of --facts masked out of what it is sent, as the application masks those
// of Mis datos; without a key it falls back to the rules.
AILabeler labeller(const Options& options) {
    if (options.ai) {
        std::vector<SavedFact> facts = planFacts(options);
        return JevLabeler::labeler(AISettings::standard(), [facts] { return facts; });
    }
    return FieldLabeler::rulesOnly();
}

// One entry per labelled unit, in unit order: the label of its first field split at the first ".".
nlohmann::json labelsJSON(const std::vector<FormUnit>& units, const Labels& labels) {
    nlohmann::json out = nlohmann::json::array();
    for (const FormUnit& u : units) {
        auto found = labels.find(u.id());
        if (found == labels.end()) continue;
        const std::string& label = found->second.label;
        const std::size_t dot = label.find('.');
        out.push_back({{"unit", u.id()},
                       {"who", label.substr(0, dot)},
                       {"what", dot == std::string::npos ? "" : label.substr(dot + 1)}});
    }
    return out;
}

// The plan's inputs, read before the document; a refused input is a Spanish sentence.
std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("No se puede leer el fichero " + path + ".");
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<SavedFact> planFacts(const Options& o) {
    if (!o.facts) return {};
    std::optional<std::vector<SavedFact>> facts = ProfileStore::decode(readWhole(*o.facts));
    if (!facts)
        throw std::runtime_error("El fichero " + *o.facts +
                                 " no contiene datos guardados válidos.");
    return *facts;
}

// The first certificate of the PEM file; without one, a certificate with an empty holder.
Certificate planCertificate(const Options& o) {
    if (!o.cert) return Certificate{};
    const std::string pem = readWhole(*o.cert);
    std::string der;
    if (BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()))) {
        if (X509* x509 = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
            unsigned char* bytes = nullptr;
            const int length = i2d_X509(x509, &bytes);
            if (length > 0)
                der.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
            OPENSSL_free(bytes);
            X509_free(x509);
        }
        BIO_free(bio);
    }
    std::optional<Certificate> certificate;
    if (!der.empty()) certificate = Certificate::fromDER(der, std::chrono::system_clock::now());
    if (!certificate)
        throw std::runtime_error("El certificado de " + *o.cert + " no sirve para firmar.");
    return *certificate;
}

// --date: that day at 12:00 local time; now without it.
std::chrono::system_clock::time_point planDate(const Options& o) {
    if (!o.date) return std::chrono::system_clock::now();
    std::tm t{};
    t.tm_year = std::stoi(o.date->substr(0, 4)) - 1900;
    t.tm_mon = std::stoi(o.date->substr(5, 2)) - 1;
    t.tm_mday = std::stoi(o.date->substr(8, 2));
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

std::string stateName(FillItem::State state) {
    switch (state) {
        case FillItem::State::filled:
            return "filled";
        case FillItem::State::suggested:
            return "suggested";
        case FillItem::State::yours:
            return "yours";
        case FillItem::State::other:
            return "other";
    }
    return "";
}

nlohmann::json planJSON(const FormPlan& plan) {
    nlohmann::json out = nlohmann::json::array();
    for (const FillItem& item : plan.items)
        out.push_back({
            {"field", item.field.id},
            {"value", item.value},
            {"state", stateName(item.state)},
            {"source", item.source ? nlohmann::json(*item.source) : nlohmann::json(nullptr)},
        });
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<Options> options = parse(argc, argv);
    if (!options) {
        std::cerr << usage;
        return 2;
    }
    std::ifstream in(options->path, std::ios::binary);
    if (!in) {
        std::cerr << "No se puede leer el fichero " << options->path << ".\n";
        return 1;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        PDFFile file(std::move(bytes));
        if (options->timeLimit)
            FormReader::pageTimeLimit() =
                std::chrono::milliseconds(static_cast<std::int64_t>(*options->timeLimit * 1000));
        FormReader::ReadReport report;
        std::unique_ptr<PageProcess> pages = PageProcess::open(file.bytes());
        // As the application reads: no page too heavy to draw is drawn.
        std::unique_ptr<GuardedPages> guarded =
            pages ? std::make_unique<GuardedPages>(*pages, file) : nullptr;
        const std::vector<FormField> fields =
            guarded ? FormReader::fields(file, *guarded, std::stop_token(), &report)
                    : FormReader::fields(file, NoPages(), std::stop_token(), &report);
        const std::vector<FormUnit> units = FormReader::units(fields);

        nlohmann::json out;
        out["fields"] = fieldsJSON(fields);
        out["units"] = unitsJSON(units);
        Labels labels;
        if (options->labelling || options->facts || options->cert) {
            const std::string formName = std::filesystem::path(options->path).stem().string();
            labels = FieldLabeler::labels(units, formName, labeller(*options));
            out["labels"] = labelsJSON(units, labels);
        }
        if (options->facts || options->cert)
            out["plan"] = planJSON(FormPlan(fields, labels, planCertificate(*options), std::nullopt,
                                            planFacts(*options), planDate(*options)));
        out["reading"] = {{"pagesRead", report.pagesRead},
                          {"pageCount", report.pageCount},
                          {"stopped", report.stopped},
                          {"cut", report.cut},
                          {"pagesWhole", report.pagesWhole}};
        std::cout << out.dump() << "\n";
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
