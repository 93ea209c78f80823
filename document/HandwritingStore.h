#pragma once
// The user's one handwritten signature, kept as a secret item of the desktop's Secret Service:
// service "es.calverin.Tindra.firma", account "manuscrita". Every save and removal is announced
// through the notifier's changed() signal, emitted synchronously after the store call returns,
// whether or not it worked: observers read the item again and so show what is really stored.
// Main thread only.

#include <QByteArray>
#include <QObject>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "signing/Handwriting.h"

class SecretStore;

namespace HandwritingStore {

// The item's service: the application's identifier followed by ".firma".
const std::string& service();
inline constexpr const char* account = "manuscrita";
inline constexpr const char* label = "Tindra: firma manuscrita";

// Where a read failure is written (one line each); the application's log by default.
using LogLine = std::function<void(std::string_view line)>;

// The stored PNG bytes; nothing when there is no item or it cannot be read (then one log line).
// The item holds the PNG as base64 text, since some Secret Service backends keep secrets as text
// and would damage raw bytes; an item holding raw PNG bytes is read as it is.
std::optional<QByteArray> png(SecretStore& store, const LogLine& log = {});
// `png` decoded; nothing when there is no item, it cannot be read, or it is not an image.
std::optional<Handwriting> handwriting(SecretStore& store, const LogLine& log = {});

// Stores the bytes (replacing the data of an existing item, keeping its label), then emits
// changed(). Throws SecretStoreError when the item could not be written (changed() is still
// emitted first, so observers re-read).
void save(SecretStore& store, const QByteArray& png);
// Deletes the item (deleting nothing is no error), then emits changed(). A refusal of the store
// is logged, not thrown: observers re-read and still show the item.
void remove(SecretStore& store, const LogLine& log = {});

// The process-wide object whose changed() announces every save and removal.
class Notifier : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void changed();
};
Notifier& notifier();

}  // namespace HandwritingStore
