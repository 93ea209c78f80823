// pellon: the Dolphin and Nemo entry "Firmar con Tindra". Hands the selected PDFs to the tindra
// beside it as one tindra://firmar link, in its environment, and exits. A selection without a PDF, and a failure to
// start tindra, go to the system log and to standard error.
#include <QDir>
#include <QFile>

#include <syslog.h>

#include <cstdio>
#include <string>

#include "PellonLink.h"
#include "extensions/DetachedLaunch.h"
#include "platform/Defaults.h"
#include "platform/Paths.h"

namespace {

void report(const std::string& line, int priority) {
    // The line may hold a path with percent signs: it is printed, never used as a format.
    ::openlog("pellon", LOG_PID, LOG_USER);
    ::syslog(priority, "%s", line.c_str());
    ::closelog();
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QFile::decodeName(argv[i]);
    const QStringList pdfs = PellonLink::selectedPDFs(arguments, QDir::currentPath());
    if (pdfs.isEmpty()) {
        report(PellonLink::noPDFLine, LOG_INFO);
        return 0;
    }

    // Read only: a missing or unreadable defaults file gives an empty key.
    const Defaults defaults(Paths::defaultsFile());
    const QString key = QString::fromStdString(defaults.string("pellonKey").value_or(std::string()));
    const QUrl url = PellonLink::link(key, pdfs);
    if (!url.isValid()) return 0;

    // The key goes in the environment, which only this user can read, not on the command line.
    const std::string variable =
        std::string(PellonLink::linkVariable) + "=" + url.toString(QUrl::FullyEncoded).toStdString();
    const auto failure = DetachedLaunch::start(DetachedLaunch::ownFolder() / "tindra", {}, {variable});
    if (failure) report(PellonLink::failurePrefix + *failure, LOG_ERR);
    return 0;
}
