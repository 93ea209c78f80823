// ostrel: the Nautilus script "Firmar con Tindra" (a symbolic link to this program). Nautilus runs
// it in the folder it shows, with the selected items as arguments; it hands them to the tindra
// beside it and exits. It always exits with 0: Nautilus has nowhere to show an error.
#include <QDir>

#include "OstrelRequest.h"
#include "extensions/DetachedLaunch.h"
#include "platform/Paths.h"

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QFile::decodeName(argv[i]);
    OstrelRequest::Log log(Paths::logFolder() / OstrelRequest::logName);
    OstrelRequest::run(arguments, QDir::currentPath(), DetachedLaunch::ownFolder() / "tindra", log,
                       [](const std::filesystem::path& program, const std::vector<std::string>& paths) {
                           return DetachedLaunch::start(program, paths);
                       });
    return 0;
}
