#pragma once
// The real-world files the corpus tests walk: the folder (PAGEWELL_CORPUS in the environment
// names another one than the built-in `builtIn`) and its PDF files in name order, so that a
// failure names the same file on every run.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace pagewell::test {

inline std::filesystem::path corpusDirectory(const char* builtIn) {
    if (const char* configured = std::getenv("PAGEWELL_CORPUS")) {
        return configured;
    }
    return builtIn;
}

// The ".pdf" files in `directory`, sorted; none when it cannot be read.
inline std::vector<std::filesystem::path> corpusFiles(const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
        if (entry.path().extension() == ".pdf") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace pagewell::test
