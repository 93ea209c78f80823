// The handwritten signature's secret item: over an in-memory store, and through a real
// gnome-keyring in a private D-Bus session (this program runs itself again inside one).
#include "document/HandwritingStore.h"
#include "platform/LibsecretStore.h"
#include "platform/MemorySecretStore.h"
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
namespace {

constexpr const char* kInsideVariable = "TINDRA_KEYRING_SESSION";

void runWithPrivateKeyring(const std::string& test) {
    if (!testutil::haveProgram("dbus-run-session") || !testutil::haveProgram("gnome-keyring-daemon")) {
        GTEST_SKIP() << "dbus-run-session or gnome-keyring-daemon is missing";
    }
    testutil::TempDir home;
    for (const char* sub : {".local/share", ".local/state", ".config", ".cache", "run"}) {
        std::filesystem::create_directories(home.path() / sub);
    }
    chmod((home.path() / "run").c_str(), 0700);
    const auto r = testutil::run({"timeout", "120", "env", "HOME=" + home.path().string(),
                                  "XDG_DATA_HOME=" + (home.path() / ".local/share").string(),
                                  "XDG_STATE_HOME=" + (home.path() / ".local/state").string(),
                                  "XDG_CONFIG_HOME=" + (home.path() / ".config").string(),
                                  "XDG_CACHE_HOME=" + (home.path() / ".cache").string(),
                                  "XDG_RUNTIME_DIR=" + (home.path() / "run").string(),
                                  std::string(kInsideVariable) + "=1", "QT_QPA_PLATFORM=offscreen",
                                  // glib and libsecret keep per-process caches for good.
                                  "ASAN_OPTIONS=detect_leaks=0", "dbus-run-session", "--",
                                  std::filesystem::read_symlink("/proc/self/exe").string(),
                                  "--gtest_filter=" + test});
    if (r.out.find("[  SKIPPED ]") != std::string::npos && r.out.find("[  PASSED  ] 1 test") == std::string::npos) {
        GTEST_SKIP() << "no Secret Service could be started:\n" << r.out << r.err;
    }
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[  PASSED  ] 1 test"), std::string::npos) << r.out << r.err;
}

}  // namespace

TEST(HandwritingKeyring, EveryByteComesBackIdentical) {
    if (!std::getenv(kInsideVariable)) return runWithPrivateKeyring("HandwritingKeyring.EveryByteComesBackIdentical");
    if (testutil::run({"gnome-keyring-daemon", "--unlock", "--components=secrets"}, "tindra-prueba").exitCode != 0) {
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
