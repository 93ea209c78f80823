#pragma once
// One NSS database with an RSA and an EC identity, made once for the whole test program.

#include "support/TestPKI.h"
#include "support/TestUtil.h"

#include <memory>

inline const testpki::NSSDatabase& testDatabase() {
    static testutil::TempDir folder;  // removed at exit
    static testpki::NSSDatabase database = testpki::makeNSSDatabase(folder.path() / "nssdb");
    return database;
}
