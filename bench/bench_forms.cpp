// Form recognition and filling over two generated 10-page forms:
//  - widgets: an interactive form, 40 captioned text fields a page under headings, and a row of
//    nine one-character boxes;
//  - flat: a form printed only, as administrations print it: labels on grey bands against their
//    boxes (some with rounded corners), a logo drawn with curves, fill lines, a tick column and a
//    notice in small print, read from the page text and the ink of its drawing; and the same
//    reading of two other designs (rounded boxes and tick boxes; ruled tables on an offset crop
//    box).
// What matters: reading + labelling (rules) + planning the widget form under 200 ms; labelling it
// through a stub AI service that answers at once under 100 ms of our own; reading the
// flat form under 400 ms and within twice Poppler's bare text and rendering of the same pages
// (BM_PopplerTextAndRender, measured in the same run).

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "forms/ai/JevLabeler.h"
#include "forms/fill/FormFiller.h"
#include "forms/labels/FieldLabeler.h"
#include "forms/plan/FormPlan.h"
#include "forms/reader/FormReader.h"
#include "pdf/PDFFile.h"
#include "pages/PageProcess.h"
#include "pages/InkMap.h"
#include "support/FormFixtures.h"
#include "support/StubHTTPServer.h"
#include "support/TestUtil.h"
#include "platform/MemorySecretStore.h"

namespace benchforms {

constexpr int pageCount = 10;

const std::vector<std::string>& captions() {
    static const std::vector<std::string> list = {"Nombre",
                                                  "Primer apellido",
                                                  "Segundo apellido",
                                                  "NIF / NIE",
                                                  "Domicilio",
                                                  "Numero",
                                                  "Piso",
                                                  "Codigo postal",
                                                  "Municipio",
                                                  "Provincia",
                                                  "Telefono",
                                                  "Correo electronico",
                                                  "Fecha de nacimiento",
                                                  "Nacionalidad",
                                                  "Sexo",
                                                  "Razon social",
                                                  "CIF",
                                                  "Cargo",
                                                  "Poblacion",
                                                  "Pais"};
    return list;
}

// The interactive form.
const std::string& widgetForm() {
    static const std::string pdf = [] {
        formfixtures::FormSpec spec;
        for (int p = 0; p < pageCount; ++p) {
            auto& page = spec.pages.emplace_back();
            page.texts.push_back(
                {50, 810, "SOLICITUD DE AYUDA - HOJA " + std::to_string(p + 1), 12});
            for (int i = 0; i < 40; ++i) {
                const int column = i / 20, row = i % 20;
                const double x = 50 + column * 270, y = 760 - row * 34;
                if (row % 10 == 0)
                    page.texts.push_back(
                        {x, y + 14, std::to_string(row / 10 + 1) + ". DATOS DEL BLOQUE", 10});
                page.texts.push_back({x, y, captions()[static_cast<std::size_t>(i % 20)], 8});
                formfixtures::WidgetSpec w;
                w.name = "p" + std::to_string(p) + ".campo" + std::to_string(i);
                w.rect = {x + 90, y - 4, 150, 14};
                page.widgets.push_back(w);
            }
            page.texts.push_back({50, 62, "NIF", 8});
            for (int k = 0; k < 9; ++k) {
                formfixtures::WidgetSpec box;
                box.name = "p" + std::to_string(p) + ".nif" + std::to_string(k);
                box.rect = {80.0 + 16 * k, 58, 14, 16};
                box.maxLength = 1;
                page.widgets.push_back(box);
            }
        }
        return formfixtures::formPDF(spec);
    }();
    return pdf;
}

// The flat form, as administrations print it (formfixtures::printedFlatForm): labels on grey
// bands against their boxes, some with rounded corners, a logo drawn with curves, fill lines, a
// tick column and a notice in small print on every page.
const std::string& flatForm() {
    static const std::string pdf = formfixtures::formPDF(formfixtures::printedFlatForm(pageCount));
    return pdf;
}

}  // namespace benchforms

namespace {

void BM_ReadWidgetForm(benchmark::State& state) {
    const std::string& pdf = benchforms::widgetForm();
    std::size_t fields = 0;
    for (auto _ : state) {
        PDFFile file(pdf);
        std::vector<FormField> list = FormReader::fields(file);
        std::vector<FormUnit> units = FormReader::units(list);
        fields = list.size();
        benchmark::DoNotOptimize(units);
    }
    state.counters["fields"] = static_cast<double>(fields);
}
BENCHMARK(BM_ReadWidgetForm)->Unit(benchmark::kMillisecond);

void readFlat(benchmark::State& state, const std::string& pdf) {
    std::size_t fields = 0;
    for (auto _ : state) {
        PDFFile file(pdf);
        std::vector<FormField> list = FormReader::fields(file);
        fields = list.size();
        benchmark::DoNotOptimize(list);
    }
    state.counters["fields"] = static_cast<double>(fields);
}

void BM_ReadFlatForm(benchmark::State& state) {
    readFlat(state, benchforms::flatForm());
}
BENCHMARK(BM_ReadFlatForm)->Unit(benchmark::kMillisecond);

// The flat forms of other designs (formfixtures::flatForm): every box and tick box rounded by
// 4 pt and more; ruled two-column tables with grey header rows and section bars, a row of 24
// boxes, a ruled tick column, on an offset crop box. Read from their drawing, as the printed one.
void BM_ReadRoundedFlatForm(benchmark::State& state) {
    static const std::string pdf = formfixtures::formPDF(
        formfixtures::flatForm(formfixtures::FlatDesign::rounded, benchforms::pageCount));
    readFlat(state, pdf);
}
BENCHMARK(BM_ReadRoundedFlatForm)->Unit(benchmark::kMillisecond);

void BM_ReadTablesFlatForm(benchmark::State& state) {
    static const std::string pdf = formfixtures::formPDF(
        formfixtures::flatForm(formfixtures::FlatDesign::tables, benchforms::pageCount));
    readFlat(state, pdf);
}
BENCHMARK(BM_ReadTablesFlatForm)->Unit(benchmark::kMillisecond);

// Rules labelling of the widget form's units (read once).
void BM_LabelWidgetForm(benchmark::State& state) {
    PDFFile file(benchforms::widgetForm());
    const std::vector<FormUnit> units = FormReader::units(FormReader::fields(file));
    std::size_t labelled = 0;
    for (auto _ : state) {
        Labels labels = FieldLabeler::labels(units, "Solicitud.pdf", FieldLabeler::rulesOnly());
        labelled = labels.size();
        benchmark::DoNotOptimize(labels);
    }
    state.counters["units"] = static_cast<double>(units.size());
    state.counters["labelled"] = static_cast<double>(labelled);
}
BENCHMARK(BM_LabelWidgetForm)->Unit(benchmark::kMillisecond);

// Reading and labelling together, as the document window does on opening the form.
void BM_ReadAndLabelWidgetForm(benchmark::State& state) {
    const std::string& pdf = benchforms::widgetForm();
    for (auto _ : state) {
        PDFFile file(pdf);
        const std::vector<FormUnit> units = FormReader::units(FormReader::fields(file));
        Labels labels = FieldLabeler::labels(units, "Solicitud.pdf", FieldLabeler::rulesOnly());
        benchmark::DoNotOptimize(labels);
    }
}
BENCHMARK(BM_ReadAndLabelWidgetForm)->Unit(benchmark::kMillisecond);

// AI labelling of the widget form's units through a stub service on 127.0.0.1 that answers at
// once: our own cost (batches, request bodies, transfers, answers, call log) beside the rules
// path. Under 100 ms is the aim.
void BM_LabelWidgetFormAI(benchmark::State& state) {
    PDFFile file(benchforms::widgetForm());
    const std::vector<FormUnit> units = FormReader::units(FormReader::fields(file));
    nlohmann::json answers = nlohmann::json::object();
    for (const FormUnit& unit : units) {
        const std::string id = std::to_string(unit.id());
        answers["quien_" + id] = {{"probabilities", {{"titular", 0.9}}}};
        answers["que_" + id] = {{"probabilities", {{"telefono", 0.9}}}};
    }
    StubHTTPServer stub;
    const std::string body = nlohmann::json{{"answers", answers}}.dump();
    stub.setHandler([&body](const StubHTTPServer::Request&) { return StubHTTPServer::Reply::json(200, body); });
    testutil::TempDir dir;
    AISettings settings;
    settings.secrets = std::make_shared<MemorySecretStore>();
    settings.environment = [&stub](const std::string& name) -> std::optional<std::string> {
        if (name == "TINDRA_AI_BASE_URL") return stub.baseURL();
        if (name == "OPENROUTER_API_KEY") return "sk-or-banco";
        return std::nullopt;
    };
    settings.logPath = dir / "Tindra-IA.jsonl";
    const AILabeler ai = JevLabeler::labeler(settings);
    std::size_t labelled = 0;
    for (auto _ : state) {
        Labels labels = FieldLabeler::labels(units, "Solicitud", ai);
        labelled = labels.size();
        benchmark::DoNotOptimize(labels);
    }
    state.counters["units"] = static_cast<double>(units.size());
    state.counters["labelled"] = static_cast<double>(labelled);
    state.counters["requests"] = static_cast<double>(stub.requestCount()) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_LabelWidgetFormAI)->Unit(benchmark::kMillisecond)->UseRealTime();

// The signer and saved facts the planning cases use: a person with an address, contacts and an
// account.
Certificate benchSigner() {
    Certificate c;
    c.holder = "Ana García López";
    c.givenName = "Ana";
    c.surnames = "García López";
    c.idNumber = "12345678Z";
    return c;
}

std::vector<SavedFact> benchFacts() {
    auto make = [](std::string kind, std::string value,
                   std::map<std::string, std::string> parts = {}) {
        SavedFact f;
        f.owner = "persona";
        f.kind = std::move(kind);
        f.value = std::move(value);
        f.parts = std::move(parts);
        f.subject = "12345678Z";
        return f;
    };
    return {
        make("telefono", "600111222"), make("email", "ana@example.es"),
        make("iban", "ES91 2100 0418 4502 0005 1332"),
        make("domicilio", "Calle Mayor 1",
             {{"via", "Calle Mayor"}, {"numero", "1"}, {"cp", "28013"}, {"municipio", "Madrid"}})};
}

// Planning alone, over the widget form's fields and rule labels (made once).
void BM_PlanWidgetForm(benchmark::State& state) {
    PDFFile file(benchforms::widgetForm());
    const std::vector<FormField> fields = FormReader::fields(file);
    const Labels labels =
        FieldLabeler::labels(FormReader::units(fields), "Solicitud.pdf", FieldLabeler::rulesOnly());
    const Certificate signer = benchSigner();
    const std::vector<SavedFact> facts = benchFacts();
    const auto date = std::chrono::system_clock::now();
    std::size_t proposed = 0;
    for (auto _ : state) {
        FormPlan plan(fields, labels, signer, std::nullopt, facts, date);
        proposed = static_cast<std::size_t>(plan.count(FillItem::State::suggested) +
                                            plan.count(FillItem::State::filled));
        benchmark::DoNotOptimize(plan);
    }
    state.counters["fields"] = static_cast<double>(fields.size());
    state.counters["proposed"] = static_cast<double>(proposed);
}
BENCHMARK(BM_PlanWidgetForm)->Unit(benchmark::kMillisecond);

// Reading, labelling and planning together: what the document window waits for. Under 200 ms.
void BM_ReadLabelAndPlanWidgetForm(benchmark::State& state) {
    const std::string& pdf = benchforms::widgetForm();
    const Certificate signer = benchSigner();
    const std::vector<SavedFact> facts = benchFacts();
    for (auto _ : state) {
        PDFFile file(pdf);
        const std::vector<FormField> fields = FormReader::fields(file);
        const Labels labels = FieldLabeler::labels(FormReader::units(fields), "Solicitud.pdf",
                                                   FieldLabeler::rulesOnly());
        FormPlan plan(fields, labels, signer, std::nullopt, facts,
                      std::chrono::system_clock::now());
        benchmark::DoNotOptimize(plan);
    }
}
BENCHMARK(BM_ReadLabelAndPlanWidgetForm)->Unit(benchmark::kMillisecond);

// The floor of reading the flat form: Poppler's own text of every page and one rendering at the
// ink map's scale.
void BM_PopplerTextAndRender(benchmark::State& state) {
    const std::string& pdf = benchforms::flatForm();
    for (auto _ : state) {
        std::unique_ptr<PageProcess> pages = PageProcess::open(pdf);
        for (int i = 0; i < pages->pageCount(); ++i) {
            benchmark::DoNotOptimize(pages->text(i));
            benchmark::DoNotOptimize(
                pages->render(i, InkMap::scale, static_cast<std::int64_t>(InkMap::maxPixels)));
        }
    }
}
BENCHMARK(BM_PopplerTextAndRender)->Unit(benchmark::kMillisecond);

// Filling the widget form's 400 text fields in one update, each with its appearance: under 250 ms,
// the file growing by under 8 KB a field.
void BM_FillWidgetForm(benchmark::State& state) {
    const std::string& pdf = benchforms::widgetForm();
    std::vector<FormFill> fills;
    for (int p = 0; p < benchforms::pageCount; ++p) {
        for (int i = 0; i < 40; ++i) {
            const int column = i / 20, row = i % 20;
            const double x = 50 + column * 270, y = 760 - row * 34;
            fills.push_back({"p" + std::to_string(p) + ".campo" + std::to_string(i), p,
                             Rect{x + 90, y - 4, 150, 14},
                             "Valor " + std::to_string(p * 40 + i) + " de García Núñez"});
        }
    }
    std::size_t grown = 0;
    for (auto _ : state) {
        std::string out = FormFiller::fill(pdf, fills);
        grown = out.size() - pdf.size();
        benchmark::DoNotOptimize(out);
    }
    state.counters["fields"] = static_cast<double>(fills.size());
    state.counters["bytesPerField"] = static_cast<double>(grown) / static_cast<double>(fills.size());
}
BENCHMARK(BM_FillWidgetForm)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
