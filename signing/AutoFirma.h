#pragma once
// Signing through AutoFirma, the Java signing application of the Spanish public administration,
// which the user installs separately. Its JAR is run headless with the system's Java: it is given
// the document, the certificate (by SHA-1 thumbprint in the NSS certificate store) and, for a
// visible signature, the card as a PNG and its place on the page. A failed run becomes a short
// Spanish error made from what AutoFirma printed.

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ProcessRunner.h"
#include "signing/Certificate.h"
#include "pages/Geometry.h"
#include "signing/SignaturePlacement.h"
#include "signing/VisibleSignature.h"

class Defaults;

namespace AutoFirma {

// The Java runtime and the JAR of an AutoFirma installation.
struct Installation {
    std::filesystem::path java;
    std::filesystem::path jar;
    friend bool operator==(const Installation&, const Installation&) = default;
};

// A failed AutoFirma run; what() is the message.
class SignError : public std::runtime_error {
public:
    explicit SignError(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
};

// Where the JAR and Java may be named explicitly: environment variables first, then settings.
inline constexpr char jarVariable[] = "TINDRA_AUTOFIRMA_JAR";
inline constexpr char javaVariable[] = "TINDRA_AUTOFIRMA_JAVA";
inline constexpr char jarKey[] = "autofirmaJar";
inline constexpr char javaKey[] = "autofirmaJava";

// The JARs that AutoFirma's Debian packages install, in the order they are tried.
extern const std::vector<std::filesystem::path> packagedJars;
// The system's Java when no other is named.
inline constexpr char systemJava[] = "/usr/bin/java";

// The "-store" value that makes AutoFirma read the user's shared NSS database
// (sql:$HOME/.pki/nssdb), the store our own certificate list reads: on Linux AutoFirma's automatic
// choice is that database.
inline constexpr char certificateStore[] = "auto";

// The candidates in order: a JAR named by the environment or the settings, then the packaged
// JARs; each with the Java named by the environment or the settings, else the system's Java.
std::vector<Installation> candidates(const Defaults& defaults);

// The first candidate whose Java is an executable file and whose JAR exists, or nothing.
std::optional<Installation> locate(const std::vector<Installation>& candidates);
// The same over the environment, the standard defaults and the packaged paths; looks again on
// every call.
std::optional<Installation> locate();

// The configuration lines for a placement's position: "signatureField=NAME" for a field whose name
// holds no backslash and no control character, the five area lines otherwise.
std::vector<std::string> configLines(const SignaturePlacement& placement);
// "signaturePage=", then the lower-left and upper-right corners, each coordinate rounded half away
// from zero (0 when it is not a representable integer).
std::vector<std::string> areaLines(int page, const Rect& rect);

// The value of the "-config" argument for a visible signature: its position lines, then
// "signatureRubricImage=" and the card as base64 PNG, joined by the two characters "\" "n".
// Nothing when the card cannot be drawn as PNG.
std::optional<std::string> configArgument(const VisibleSignature& visible);

// The whole command line after the Java executable.
std::vector<std::string> arguments(const std::filesystem::path& input,
                                   const std::filesystem::path& output,
                                   const Certificate& certificate,
                                   const std::optional<std::string>& config,
                                   const Installation& installation);

// Runs AutoFirma and returns when it has written `output`. Throws ProcessLaunchError when Java
// cannot be started (the output is left alone); otherwise, when the exit status is not 0 or no
// output file exists, removes the output and throws SignError. A file that was at `output` before
// the run never counts as AutoFirma's output.
void sign(const std::filesystem::path& input, const std::filesystem::path& output,
          const Certificate& certificate, const std::optional<VisibleSignature>& visible,
          const Installation& installation, ProcessRunner& runner = ProcessRunner::system());

// The user-facing reason in AutoFirma's combined output: the non-blank lines, trimmed, without
// each time-stamped logger header and the line after it; nothing when no line is left.
std::optional<std::string> cleanOutput(std::string_view output);

}  // namespace AutoFirma
