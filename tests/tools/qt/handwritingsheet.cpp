// handwritingsheet: shows a window titled "Documento" and the handwriting sheet over it, as the
// signing window opens it, on the display Qt is given; runs until the sheet is closed (printing
// "cancelado" or "guardado") or the process is killed. For the desktop sessions, which look at the
// sheet as the window manager sees it.
#include <QApplication>
#include <QWidget>

#include <cstdio>

#include "document/DocumentContext.h"
#include "document/HandwritingSheet.h"
#include "platform/MemorySecretStore.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget document;
    document.setWindowTitle(QStringLiteral("Documento"));
    document.resize(900, 640);
    document.show();
    // Nothing the user draws here is kept.
    MemorySecretStore secrets;
    DocumentContext context = DocumentContext::standard();
    context.secrets = &secrets;
    HandwritingSheet::present(&document, [](bool saved) {
        std::printf("%s\n", saved ? "guardado" : "cancelado");
        std::fflush(stdout);
        QCoreApplication::quit();
    }, context);
    return QApplication::exec();
}
