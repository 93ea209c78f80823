#include "document/HandwritingStore.h"

#include "ui/Brand.h"
#include "platform/Log.h"
#include "platform/SecretStore.h"

namespace HandwritingStore {

namespace {

constexpr std::string_view pngSignature("\x89PNG\r\n\x1a\n", 8);

void writeLog(const LogLine& log, std::string_view line) {
    if (log)
        log(line);
    else
        Log::write(line);
}

// Emits changed() when it goes out of scope, also when the store call threw.
struct AnnounceChange {
    AnnounceChange() = default;
    AnnounceChange(const AnnounceChange&) = delete;
    AnnounceChange& operator=(const AnnounceChange&) = delete;
    ~AnnounceChange() { emit notifier().changed(); }
};

}  // namespace

const std::string& service() {
    static const std::string name = (Brand::bundleIdentifier + QStringLiteral(".firma")).toStdString();
    return name;
}

std::optional<QByteArray> png(SecretStore& store, const LogLine& log) {
    const SecretRead read = store.read(service(), account);
    switch (read.status) {
        case SecretRead::Status::found: break;
        case SecretRead::Status::absent: return std::nullopt;
        case SecretRead::Status::unavailable:
        case SecretRead::Status::failed:
            writeLog(log, "No se ha podido leer la firma manuscrita del depósito de claves: " +
                              (read.detail.empty() ? std::string("sin detalle") : read.detail));
            return std::nullopt;
    }
    const QByteArray raw(read.data.data(), static_cast<qsizetype>(read.data.size()));
    if (std::string_view(read.data).starts_with(pngSignature)) return raw;
    // Base64 text as written by save(); anything else is handed back unchanged.
    auto decoded = QByteArray::fromBase64Encoding(raw.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (decoded && !raw.trimmed().isEmpty()) return *decoded;
    return raw;
}

std::optional<Handwriting> handwriting(SecretStore& store, const LogLine& log) {
    const std::optional<QByteArray> bytes = png(store, log);
    if (!bytes) return std::nullopt;
    return Handwriting::fromPNG(std::string_view(bytes->constData(), static_cast<size_t>(bytes->size())));
}

void save(SecretStore& store, const QByteArray& png) {
    AnnounceChange announce;
    const QByteArray text = png.toBase64();
    store.write(service(), account, label, std::string_view(text.constData(), static_cast<size_t>(text.size())));
}

void remove(SecretStore& store, const LogLine& log) {
    AnnounceChange announce;
    try {
        store.remove(service(), account);
    } catch (const SecretStoreError& error) {
        writeLog(log, std::string("No se ha podido borrar la firma manuscrita: ") + error.what());
    }
}

Notifier& notifier() {
    static Notifier* object = new Notifier;  // lives as long as the process; observers outlive no one
    return *object;
}

}  // namespace HandwritingStore
