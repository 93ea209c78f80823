# Libraries of the Linux platform layers and the engines (Debian packages, see scripts/setup).
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)
find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
find_package(ICU REQUIRED COMPONENTS uc i18n)
find_package(nlohmann_json 3 REQUIRED)
pkg_check_modules(NSS REQUIRED IMPORTED_TARGET nss)
pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo cairo-pdf cairo-png)
pkg_check_modules(PANGO REQUIRED IMPORTED_TARGET pangocairo)
# Poppler runs only in the page process, through its core library (its private headers).
pkg_check_modules(POPPLER REQUIRED IMPORTED_TARGET poppler)
# The page process's system-call filter.
pkg_check_modules(SECCOMP REQUIRED IMPORTED_TARGET libseccomp)
find_package(Threads REQUIRED)
find_package(CURL REQUIRED)

# The application half: Qt 6 Widgets (page images come from the page process).
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Network Svg DBus Concurrent Test)
