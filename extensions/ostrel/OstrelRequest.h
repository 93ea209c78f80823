#pragma once
// One run of ostrel, the Nautilus script "Firmar con Tindra": the arguments are the selected items
// (absolute paths, paths relative to the folder Nautilus runs the script in, or file: URIs). Every
// local path is handed to the application beside ostrel, of any type: the application keeps the
// PDFs. What happened is written to last-request.log in the log folder, rewritten at each step.

#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace OstrelRequest {

inline constexpr char logName[] = "last-request.log";

// The local path an argument names, absolute against `workingFolder`; nothing for a URI of another
// scheme, a file: URI of another host, or an empty argument.
std::optional<QString> localPath(const QString& argument, const QString& workingFolder);

// The MIME type of a local path and its ancestors (QMimeDatabase), nearest first.
QStringList types(const QString& path);

// Bracket notation: ["a", "b"]; an empty list is [].
QString list(const QStringList& items);

// The log of one request: each note appends a line "yyyy-MM-dd HH:mm:ss +0000 message" (UTC) and
// rewrites `file` with all lines so far, joined by line feeds, with no final line feed. Write
// failures are ignored.
class Log {
public:
    explicit Log(std::filesystem::path file) : file_(std::move(file)) {}
    void note(const QString& message);
    const QStringList& lines() const { return lines_; }

private:
    std::filesystem::path file_;
    QStringList lines_;
};

// Starts the application with the accepted paths; nothing when it started, else the reason.
using Launcher = std::function<std::optional<std::string>(const std::filesystem::path& program,
                                                          const std::vector<std::string>& paths)>;

// The whole request. Returns the paths handed over (none: the application was not started).
QStringList run(const QStringList& arguments, const QString& workingFolder,
                const std::filesystem::path& application, Log& log, const Launcher& launch);

}  // namespace OstrelRequest
