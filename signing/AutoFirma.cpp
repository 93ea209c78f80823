#include "signing/AutoFirma.h"

#include <openssl/evp.h>
#include <sys/stat.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>

#include "platform/AtomicFile.h"
#include "platform/TemporaryFiles.h"
#include "platform/Defaults.h"
#include "signing/SigningEngine.h"

namespace AutoFirma {

const std::vector<std::filesystem::path> packagedJars = {
    "/usr/lib/Autofirma/Autofirma.jar",
    "/usr/lib/AutoFirma/AutoFirma.jar",
    "/usr/share/autofirma/autofirma.jar",
};

namespace {

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

bool isExecutableFile(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// A name AutoFirma's configuration cannot carry: a backslash (its escape character), a control or
// format character, or bytes that are not UTF-8.
bool unsafeFieldName(std::string_view name) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(name.data());
    const int32_t length = static_cast<int32_t>(std::min<size_t>(name.size(), INT32_MAX));
    if (static_cast<size_t>(length) != name.size()) return true;
    int32_t at = 0;
    while (at < length) {
        UChar32 c;
        U8_NEXT(bytes, at, length, c);
        if (c < 0 || c == '\\') return true;
        int8_t type = u_charType(c);
        if (type == U_CONTROL_CHAR || type == U_FORMAT_CHAR) return true;
    }
    return false;
}

std::string rounded(double v) {
    double r = std::round(v);  // halves away from zero
    // The representable range of a 64-bit integer: [-2^63, 2^63).
    if (!std::isfinite(r) || r < -9223372036854775808.0 || r >= 9223372036854775808.0) return "0";
    return std::to_string(static_cast<long long>(r));
}

std::string base64(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3), '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                            reinterpret_cast<const unsigned char*>(bytes.data()),
                            static_cast<int>(bytes.size()));
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

bool isNewline(UChar32 c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isHorizontalSpace(UChar32 c) {
    return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR;
}

}  // namespace

std::vector<Installation> candidates(const Defaults& defaults) {
    auto named = [&](const char* variable,
                     const char* key) -> std::optional<std::filesystem::path> {
        if (auto value = environment(variable)) return std::filesystem::path(*value);
        if (auto value = defaults.string(key); value && !value->empty())
            return std::filesystem::path(*value);
        return std::nullopt;
    };
    std::filesystem::path java = named(javaVariable, javaKey).value_or(systemJava);
    std::vector<Installation> list;
    if (auto jar = named(jarVariable, jarKey)) list.push_back({java, *jar});
    for (const auto& jar : packagedJars) list.push_back({java, jar});
    return list;
}

std::optional<Installation> locate(const std::vector<Installation>& candidates) {
    for (const auto& candidate : candidates) {
        std::error_code ec;
        if (isExecutableFile(candidate.java) && std::filesystem::exists(candidate.jar, ec)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<Installation> locate() {
    return locate(candidates(Defaults::standard()));
}

std::vector<std::string> areaLines(int page, const Rect& rect) {
    return {
        "signaturePage=" + std::to_string(page),
        "signaturePositionOnPageLowerLeftX=" + rounded(rect.minX()),
        "signaturePositionOnPageLowerLeftY=" + rounded(rect.minY()),
        "signaturePositionOnPageUpperRightX=" + rounded(rect.maxX()),
        "signaturePositionOnPageUpperRightY=" + rounded(rect.maxY()),
    };
}

std::vector<std::string> configLines(const SignaturePlacement& placement) {
    if (const auto* field = placement.target.asField()) {
        if (!unsafeFieldName(field->name)) return {"signatureField=" + field->name};
        return areaLines(placement.pageIndex + 1, placement.rect);
    }
    const auto* area = placement.target.asArea();
    return areaLines(area->page, area->rect);
}

std::optional<std::string> configArgument(const VisibleSignature& visible) {
    auto png = visible.stamp.pngData(visible.placement.rect.size());
    if (!png) return std::nullopt;
    auto lines = configLines(visible.placement);
    lines.push_back("signatureRubricImage=" + base64(*png));
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) joined += "\\n";
        joined += lines[i];
    }
    return joined;
}

std::vector<std::string> arguments(const std::filesystem::path& input,
                                   const std::filesystem::path& output,
                                   const Certificate& certificate,
                                   const std::optional<std::string>& config,
                                   const Installation& installation) {
    std::vector<std::string> list = {
        "-Djava.awt.headless=true",
        "-jar",
        installation.jar.string(),
        "sign",
        "-i",
        input.string(),
        "-o",
        output.string(),
        "-format",
        "pades",
        "-algorithm",
        "sha256",
        "-store",
        certificateStore,
        "-filter",
        "thumbprint:SHA1:" + certificate.sha1,
    };
    if (config) {
        list.push_back("-config");
        list.push_back(*config);
    }
    return list;
}

void sign(const std::filesystem::path& input, const std::filesystem::path& output,
          const Certificate& certificate, const std::optional<VisibleSignature>& visible,
          const Installation& installation, ProcessRunner& runner) {
    std::optional<std::string> config;
    if (visible) config = configArgument(*visible);

    // A file already at the output would pass for AutoFirma's work if it exited with 0 without
    // writing. It is moved aside while AutoFirma runs: put back when Java cannot be started,
    // dropped otherwise (a failed run removes the output in any case).
    std::filesystem::path aside;
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(output, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status) &&
        !std::filesystem::equivalent(input, output, ec) && !ec) {
        aside = AtomicFile::temporaryPath(output, true);
        // Listed while it exists: a process killed while AutoFirma runs leaves nothing behind.
        TemporaryFiles::add(aside);
        if (::rename(output.c_str(), aside.c_str()) != 0) {
            TemporaryFiles::remove(aside);
            aside.clear();
        }
    }
    ProcessResult result;
    try {
        result = runner.run(installation.java,
                            arguments(input, output, certificate, config, installation));
    } catch (...) {
        if (!aside.empty()) {
            ::rename(aside.c_str(), output.c_str());
            TemporaryFiles::remove(aside);
        }
        throw;
    }
    if (!aside.empty()) {
        ::unlink(aside.c_str());
        TemporaryFiles::remove(aside);
    }

    if (result.status == 0 && std::filesystem::exists(output, ec)) return;
    SigningEngine::removeOutput(input, output);
    if (auto reason = cleanOutput(result.output)) throw SignError(*reason);
    throw SignError("AutoFirma terminó con el código " + std::to_string(result.status) + ".");
}

std::optional<std::string> cleanOutput(std::string_view output) {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(
        output.data(), static_cast<int32_t>(std::min<size_t>(output.size(), INT32_MAX))));

    UErrorCode status = U_ZERO_ERROR;
    static const std::unique_ptr<icu::RegexPattern> header([] {
        UErrorCode s = U_ZERO_ERROR;
        return icu::RegexPattern::compile(u"^\\w+ \\d+, \\d{4} ", 0, s);
    }());
    std::unique_ptr<icu::RegexMatcher> matcher;
    if (header) matcher.reset(header->matcher(status));

    std::string kept;
    bool any = false;
    bool skipNext = false;
    auto take = [&](int32_t start, int32_t end) {
        while (start < end && isHorizontalSpace(text.char32At(start)))
            start = text.moveIndex32(start, 1);
        while (end > start) {
            int32_t previous = text.moveIndex32(end, -1);
            if (!isHorizontalSpace(text.char32At(previous))) break;
            end = previous;
        }
        if (skipNext) {
            skipNext = false;
            return;
        }
        if (start == end) return;
        icu::UnicodeString line(text, start, end - start);
        if (matcher) {
            UErrorCode s = U_ZERO_ERROR;
            matcher->reset(line);
            if (matcher->lookingAt(s) && U_SUCCESS(s)) {
                skipNext = true;
                return;
            }
        }
        if (any) kept += '\n';
        line.toUTF8String(kept);
        any = true;
    };

    int32_t start = 0;
    for (int32_t at = 0; at < text.length(); at = text.moveIndex32(at, 1)) {
        UChar32 c = text.char32At(at);
        if (isNewline(c)) {
            take(start, at);
            // CR LF is one line break: counting an empty line between would let it stand in for
            // the line after a logger header.
            if (c == '\r' && at + 1 < text.length() && text.charAt(at + 1) == '\n') ++at;
            start = at + 1;
        }
    }
    take(start, text.length());
    if (!any) return std::nullopt;
    return kept;
}

}  // namespace AutoFirma
