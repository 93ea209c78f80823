#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/FileData.h"

namespace fs = std::filesystem;

namespace {

std::string message(const fs::path& path) {
    try {
        FileData::read(path);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

// Whole regular files are read; a missing file, a folder, a named pipe or a device fail at once
// with a Spanish sentence instead of blocking or reading without end.
TEST(FileData, ReadsRegularFilesOnly) {
    char pattern[] = "/tmp/tindra-filedata-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path folder = pattern;
    const std::string bytes = std::string(200000, 'a') + std::string("\0b", 2);
    std::ofstream(folder / "doc.pdf", std::ios::binary) << bytes;
    EXPECT_EQ(FileData::read(folder / "doc.pdf"), bytes);
    std::ofstream(folder / "empty.pdf");
    EXPECT_EQ(FileData::read(folder / "empty.pdf"), "");

    EXPECT_EQ(message(folder / "missing.pdf"), "No se ha podido leer «missing.pdf»: no existe.");
    EXPECT_EQ(message(folder), "No se ha podido leer «" + folder.filename().string() +
                                   "»: es una carpeta.");
    ASSERT_EQ(::mkfifo((folder / "pipe.pdf").c_str(), 0600), 0);
    EXPECT_EQ(message(folder / "pipe.pdf"), "No se ha podido leer «pipe.pdf»: no es un archivo.");
    EXPECT_EQ(message("/dev/zero"), "No se ha podido leer «zero»: no es un archivo.");
    fs::remove_all(folder);
}

// A mapped file's bytes are copied to another file whole, from the file, whatever of the map was
// read; a file cut short after it was mapped copies as a failure, not as a shorter copy.
TEST(FileData, AMappedFileIsCopiedWholeOrNotAtAll) {
    char pattern[] = "/tmp/tindra-filedata-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path folder = pattern;
    std::string bytes(3 * FileData::kSmallFile + 17, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    std::ofstream(folder / "doc.pdf", std::ios::binary) << bytes;
    auto copied = [](const FileData::Mapping& mapping, std::string* out) {
        const int fd = ::memfd_create("copia", MFD_CLOEXEC);
        const bool done = mapping.copyTo(fd);
        struct stat info {};
        ::fstat(fd, &info);
        out->assign(static_cast<std::size_t>(info.st_size), '\0');
        (void)!::pread(fd, out->data(), out->size(), 0);
        ::close(fd);
        return done;
    };
    std::string copy;
    {
        const auto mapping = FileData::map(folder / "doc.pdf");
        EXPECT_TRUE(copied(*mapping, &copy));
        EXPECT_EQ(copy, bytes);
        fs::resize_file(folder / "doc.pdf", bytes.size() / 2);
        EXPECT_FALSE(copied(*mapping, &copy));
    }
    fs::remove_all(folder);
}

}  // namespace
