#pragma once
// What the signing-window tests share: test certificates, test documents, and a document context
// with fakes for the defaults, the secrets, the screen, the host and the handwriting store.
#include <QCoreApplication>
#include <QObject>
#include <QRect>

#include <chrono>
#include <thread>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/DocumentHost.h"
#include "document/DocumentContext.h"
#include "platform/Defaults.h"
#include "platform/MemorySecretStore.h"
#include "signing/Certificate.h"
#include "signing/Handwriting.h"
#include "support/CairoPages.h"
#include "support/PDFFixtures.h"
#include "support/TestPKI.h"
#include "support/TestUtil.h"

namespace panelfixtures {

// Stands for the store's change signal.
class Notifier : public QObject {
    Q_OBJECT
signals:
    void changed();
};

class FakeHost : public DocumentHost {
public:
    void popHelp(const std::string& section, QWidget*) override { helpSections.push_back(section); }
    void showProfile() override { ++profileShown; }
    std::filesystem::path filledCopy(const std::filesystem::path& source) override {
        return source.parent_path() / (source.stem().string() + "-rellenado.pdf");
    }
    std::vector<std::string> helpSections;
    int profileShown = 0;
};

// A test certificate of a Spanish citizen; `notAfter` whole seconds.
inline Certificate certificate(const std::string& given, const std::string& surnames,
                               const std::string& id,
                               std::optional<std::chrono::system_clock::time_point> notAfter = {}) {
    testpki::CertSpec spec;
    spec.subject = {{"C", "ES"},
                    {"serialNumber", "IDCES-" + id},
                    {"GN", given},
                    {"SN", surnames},
                    {"CN", surnames + " " + given + " - " + id}};
    if (notAfter) spec.notAfterAt = notAfter;
    auto issued = testpki::sharedCA().issue(spec);
    auto c = Certificate::fromDER(issued.der, std::chrono::system_clock::now());
    if (!c) throw std::runtime_error("test certificate refused");
    return *c;
}

inline const std::vector<Certificate>& certificates() {
    static const std::vector<Certificate> list{
        certificate("ANA", "GARCIA LOPEZ", "12345678Z"),
        certificate("LUIS", "MARTIN PEREZ", "87654321X")};
    return list;
}

// A dark handwriting picture of w × h pixels.
inline Handwriting handwriting(int w = 120, int h = 40) {
    RasterImage image;
    image.width = w;
    image.height = h;
    image.rgba.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool ink = std::abs((y - h / 2) - (x % 20 - 10) / 2) < 3;
            auto* p = &image.rgba[(static_cast<std::size_t>(y) * w + x) * 4];
            if (ink) p[0] = 20, p[1] = 30, p[2] = 84, p[3] = 255;
        }
    return Handwriting(image);
}

// A context of fakes; the handwriting store is `stored`, the sheet records its completion.
struct Context {
    testutil::TempDir dir;
    Defaults defaults{dir / "defaults.json"};
    MemorySecretStore secrets;
    FakeHost host;
    Notifier notifier;
    std::optional<Handwriting> stored;
    std::optional<QRect> frame = QRect(0, 0, 1440, 900);
    // The sheet: whether it accepts to open, how many times it was asked, its completion.
    bool sheetAccepts = true;
    int sheetRequests = 0;
    std::function<void(bool)> sheetCompletion;
    DocumentContext context;

    Context() {
        context.secrets = &secrets;
        context.defaults = &defaults;
        context.now = [] { return std::chrono::system_clock::now(); };
        context.visibleFrame = [this] { return frame; };
        context.host = &host;
        context.handwriting = [this] { return stored; };
        context.presentHandwritingSheet = [this](QWidget*, std::function<void(bool)> done) {
            ++sheetRequests;
            if (!sheetAccepts) return false;
            sheetCompletion = std::move(done);
            return true;
        };
        context.handwritingNotifier = &notifier;
    }
    std::filesystem::path write(const std::string& name, const std::string& bytes) {
        const auto path = dir / name;
        testutil::writeFile(path, bytes);
        return path;
    }
};

// Three A4 pages drawn with cairo, "Fdo.: El interesado" low on the third.
inline std::string threePages() {
    cairopages::Document doc;
    for (int i = 1; i <= 3; ++i) {
        auto& page = doc.page(595, 842);
        page.text(72, 770, "Solicitud de licencia - página " + std::to_string(i), 14);
        page.lines(72, 720, {"Expone que reúne los requisitos de la convocatoria",
                             "y solicita ser admitido en el procedimiento."});
        if (i == 3) {
            page.text(72, 300, "En Zaragoza, a 4 de mayo de 2026");
            page.text(72, 200, "Fdo.: El interesado");
        }
    }
    return doc.pdf();
}

// A one-page document with an empty signature field "Firma" at (100, 100, 200, 72).
inline std::string signatureFieldPDF() {
    fixtures::FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R /AcroForm <</Fields [4 0 R] /SigFlags 0>> >>");
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [4 0 R] >>");
    w.object(4, "<</Type /Annot /Subtype /Widget /FT /Sig /T (Firma) /Rect [100 100 300 172] "
                "/P 3 0 R /F 4 >>");
    return w.finishClassic("/Root 1 0 R");
}

// Runs the event loop until the signing window's placement search (on a worker thread) has
// ended and its result is in; false after `timeout`.
template <class Panel>
bool waitForPlacements(Panel& panel, std::chrono::milliseconds timeout = std::chrono::seconds(120)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (panel.searchingPlacements() || panel.readingForm()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// `count` plain pages.
inline std::string plainPages(int count) { return fixtures::textPDF(count); }

}  // namespace panelfixtures
