#pragma once
// Shared pieces of the home window tests: fake presenters and panes, recent signatures over
// temporary defaults, test PDFs, light and dark palettes.

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPalette>
#include <QRect>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/CairoPages.h"
#include "support/TestUtil.h"
#include "app/HomeWindow.h"
#include "app/RecentSignatures.h"
#include "ui/SectionPane.h"
#include "ui/RevealPresenter.h"
#include "ui/URLPresenter.h"
#include "platform/Defaults.h"

namespace home {

struct URLs : URLPresenter {
    std::vector<QUrl> opened;
    bool open(const QUrl& url) override {
        opened.push_back(url);
        return true;
    }
};

struct Reveal : RevealPresenter {
    std::vector<std::vector<std::filesystem::path>> calls;
    void reveal(const std::vector<std::filesystem::path>& files) override { calls.push_back(files); }
};

// A section pane with a labelled view that counts its activations.
struct FakePane : SectionPane {
    explicit FakePane(const QString& title) : widget(new QLabel(title)) {}
    ~FakePane() override { delete widget.data(); }
    QWidget* view() override { return widget; }
    void activate() override { ++activations; }
    QPointer<QLabel> widget;
    int activations = 0;
};

inline QPalette lightPalette() {
    QPalette p = QApplication::palette();
    p.setColor(QPalette::Window, QColor(236, 236, 236));
    p.setColor(QPalette::WindowText, QColor(0, 0, 0));
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::Button, QColor(246, 246, 246));
    p.setColor(QPalette::ButtonText, Qt::black);
    return p;
}

inline QPalette darkPalette() {
    QPalette p = QApplication::palette();
    p.setColor(QPalette::Window, QColor(40, 40, 42));
    p.setColor(QPalette::WindowText, QColor(255, 255, 255));
    p.setColor(QPalette::Base, QColor(30, 30, 30));
    p.setColor(QPalette::Text, Qt::white);
    p.setColor(QPalette::Button, QColor(70, 70, 72));
    p.setColor(QPalette::ButtonText, Qt::white);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, QColor(255, 255, 255, 90));
    }
    p.setColor(QPalette::Disabled, QPalette::Light, QColor(0, 0, 0, 0));
    return p;
}

// Sets the application's palette for one scope.
struct PaletteScope {
    explicit PaletteScope(bool dark) : saved(QApplication::palette()) {
        QApplication::setPalette(dark ? darkPalette() : lightPalette());
    }
    ~PaletteScope() { QApplication::setPalette(saved); }
    QPalette saved;
};

inline void settle(int milliseconds = 30) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    } while (timer.elapsed() < milliseconds);
}

// A PDF of `pages` A4 pages with their number written on each.
inline std::string pagesPDF(int pages) {
    cairopages::Document document;
    for (int i = 0; i < pages; ++i) {
        auto& page = document.page(595, 842);
        page.text(72, 760, "Solicitud de ayuda - página " + std::to_string(i + 1), 18);
        page.lines(72, 700, {"Nombre y apellidos: Ana Pérez", "NIF: 12345678Z", "Fecha: 9 de diciembre"});
        page.rule({72, 150, 300, 0.8});
    }
    return document.pdf();
}

inline void write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// Temporary defaults, fakes and files for a home window.
struct World {
    testutil::TempDir folder;
    Defaults defaults{folder.path() / "defaults.json"};
    URLs urls;
    Reveal reveal;
    std::vector<FakePane*> profiles;  // the panes made, alive while the window is
    std::vector<FakePane*> settings;
    int helps = 0;
    int relaunches = 0;
    bool withPanes = true;
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
    // The available area of the screen the window opens on: a large one unless a test says.
    QRect screen{0, 0, 1600, 1000};

    HomeWindow::Services services() {
        HomeWindow::Services s;
        s.defaults = &defaults;
        s.urls = &urls;
        s.reveal = &reveal;
        if (withPanes) {
            s.profilePane = [this]() -> std::unique_ptr<SectionPane> {
                auto pane = std::make_unique<FakePane>(QStringLiteral("Mis datos (prueba)"));
                profiles.push_back(pane.get());
                return pane;
            };
            s.settingsPane = [this]() -> std::unique_ptr<SectionPane> {
                auto pane = std::make_unique<FakePane>(QStringLiteral("Opciones (prueba)"));
                settings.push_back(pane.get());
                return pane;
            };
        }
        s.help = [this](std::optional<std::string>) { ++helps; };
        s.relaunchFinder = [this] { ++relaunches; };
        s.now = [this] { return now; };
        s.screenArea = [this](const QRect&) { return screen; };
        return s;
    }

    // A signed file of `pages` pages in the folder "Documentos", recorded `age` ago; its original
    // written too when `withOriginal`.
    std::filesystem::path sign(const std::string& name, std::chrono::seconds age, int pages = 1,
                               bool withOriginal = true, const std::string& signer = "Ana Pérez") {
        const auto documents = folder.path() / "Documentos";
        std::filesystem::create_directories(documents);
        const auto original = documents / (name + ".pdf");
        const auto output = documents / (name + "-firmado.pdf");
        write(output, pagesPDF(pages));
        if (withOriginal) write(original, pagesPDF(pages));
        RecentSignatures::add(output, signer, original, std::nullopt, defaults, now - age,
                              [](std::string_view) {});
        return output;
    }
};

}  // namespace home
