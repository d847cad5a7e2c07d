#pragma once

#include "support/TestPaths.h"
#include "support/TestSupport.h"

#include <filesystem>

/// Copies the files of the demo start directory (settings, language files, readmes and the sample log)
/// into a test's temporary directory.
inline void copyDemo(const velmar::test::TempDir& dir)
{
    namespace fs = std::filesystem;
    for (const char* name :
        { "config", "english.lng", "russian.lng", "readme-english.txt", "readme-russian.txt", "new_line.log" })
        fs::copy_file(fs::path(VELMAR_SOURCE_DIR) / "demo" / name, fs::path(dir.path()) / name);
}
