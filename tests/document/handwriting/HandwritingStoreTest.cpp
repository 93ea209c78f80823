// The handwritten signature's secret item: over an in-memory store, and through a real
// gnome-keyring in a private D-Bus session (this program runs itself again inside one).
#include "document/HandwritingStore.h"
#include "platform/LibsecretStore.h"
#include "platform/MemorySecretStore.h"
#include "support/KeyringSession.h"
#include "support/TestUtil.h"

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace {

const std::pair<std::string, std::string> key{"es.calverin.Tindra.firma", "manuscrita"};

QByteArray pngOf(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray smallPNG(QColor color) {
    QImage image(12, 5, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return pngOf(image);
}

struct Logged {
    std::vector<std::string> lines;
    HandwritingStore::LogLine log() {
        return [this](std::string_view line) { lines.emplace_back(line); };
    }
};

}  // namespace

TEST(HandwritingStore, SavesReplacesAndKeepsTheLabel) {
    MemorySecretStore store;
    QSignalSpy changed(&HandwritingStore::notifier(), &HandwritingStore::Notifier::changed);
    EXPECT_EQ(HandwritingStore::service(), key.first);
    EXPECT_FALSE(HandwritingStore::png(store));

    const QByteArray first = smallPNG(Qt::red);
    HandwritingStore::save(store, first);
    ASSERT_EQ(store.items.count(key), 1u);
    EXPECT_EQ(store.items.at(key).label, "Tindra: firma manuscrita");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(HandwritingStore::png(store), first);
    auto decoded = HandwritingStore::handwriting(store);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->image().width, 12);

    // The replacement keeps the first label.
    store.items.at(key).label = "etiqueta del usuario";
    const QByteArray second = smallPNG(Qt::blue);
    HandwritingStore::save(store, second);
    EXPECT_EQ(store.items.size(), 1u);
    EXPECT_EQ(store.items.at(key).label, "etiqueta del usuario");
    EXPECT_EQ(HandwritingStore::png(store), second);
    EXPECT_EQ(changed.count(), 2);

    // The item holds text, not raw bytes; raw PNG bytes stored by others are read as they are.
    EXPECT_EQ(store.items.at(key).data, second.toBase64().toStdString());
    store.items.at(key).data = first.toStdString();
    EXPECT_EQ(HandwritingStore::png(store), first);

    HandwritingStore::remove(store);
    EXPECT_TRUE(store.items.empty());
    EXPECT_FALSE(HandwritingStore::png(store));
    EXPECT_EQ(changed.count(), 3);
}

TEST(HandwritingStore, RemovingNothingStillAnnouncesOnce) {
    MemorySecretStore store;
    QSignalSpy changed(&HandwritingStore::notifier(), &HandwritingStore::Notifier::changed);
    HandwritingStore::remove(store);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(HandwritingStore::png(store));
}

TEST(HandwritingStore, BytesThatAreNoImage) {
    MemorySecretStore store;
    HandwritingStore::save(store, QByteArray("esto no es una imagen"));
    EXPECT_EQ(HandwritingStore::png(store), QByteArray("esto no es una imagen"));
    EXPECT_FALSE(HandwritingStore::handwriting(store));
    // Raw text that is not base64 either comes back unchanged.
    store.items.at(key).data = "¿texto?";
    EXPECT_EQ(HandwritingStore::png(store), QByteArray("¿texto?"));
    EXPECT_FALSE(HandwritingStore::handwriting(store));
}

TEST(HandwritingStore, WriteFaultThrowsAnnouncesAndKeepsTheItem) {
    MemorySecretStore store;
    const QByteArray kept = smallPNG(Qt::green);
    HandwritingStore::save(store, kept);
    QSignalSpy changed(&HandwritingStore::notifier(), &HandwritingStore::Notifier::changed);
    store.writeFault = MemorySecretStore::Fault::failed;
    try {
        HandwritingStore::save(store, smallPNG(Qt::black));
        FAIL() << "a failed write must throw";
    } catch (const SecretStoreError& error) {
        EXPECT_STREQ(error.what(), SecretMessages::writeFailed);
    }
    EXPECT_EQ(changed.count(), 1);
    store.writeFault = MemorySecretStore::Fault::none;
    EXPECT_EQ(HandwritingStore::png(store), kept);

    // No Secret Service: the sentence that says so; no plain-file fallback.
    store.writeFault = MemorySecretStore::Fault::unavailable;
    EXPECT_THROW(HandwritingStore::save(store, kept), SecretStoreError);
    EXPECT_EQ(changed.count(), 2);
    // A refused removal is logged, still announced, and leaves the item.
    Logged logged;
    store.writeFault = MemorySecretStore::Fault::failed;
    HandwritingStore::remove(store, logged.log());
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(logged.lines.size(), 1u);
    store.writeFault = MemorySecretStore::Fault::none;
    EXPECT_EQ(HandwritingStore::png(store), kept);
}

TEST(HandwritingStore, UnreadableItemIsNothingWithOneLogLine) {
    MemorySecretStore store;
    HandwritingStore::save(store, smallPNG(Qt::red));
    store.readFault = MemorySecretStore::Fault::failed;
    Logged logged;
    EXPECT_FALSE(HandwritingStore::png(store, logged.log()));
    ASSERT_EQ(logged.lines.size(), 1u);
    EXPECT_NE(logged.lines[0].find("the collection is locked"), std::string::npos);
    EXPECT_FALSE(HandwritingStore::handwriting(store, logged.log()));
    EXPECT_EQ(logged.lines.size(), 2u);
}

// Through gnome-keyring: every byte value survives the round trip.
TEST(HandwritingKeyring, EveryByteComesBackIdentical) {
    if (!testutil::insideKeyringSession())
        return testutil::runWithPrivateKeyring("HandwritingKeyring.EveryByteComesBackIdentical");
    if (!testutil::startPrivateKeyringDaemon()) {
        GTEST_SKIP() << "gnome-keyring-daemon did not start";
    }
    LibsecretStore secrets;
    // A real PNG (its signature holds 0x89, 0x1A and 0x0A) followed by every byte value.
    QByteArray bytes = smallPNG(QColor(10, 0, 200, 128));
    for (int b = 0; b < 256; ++b) bytes.append(static_cast<char>(b));
    ASSERT_TRUE(bytes.contains('\0'));
    HandwritingStore::save(secrets, bytes);
    EXPECT_EQ(HandwritingStore::png(secrets), bytes);
    HandwritingStore::remove(secrets);
    EXPECT_FALSE(HandwritingStore::png(secrets));
}
