// A fresh, empty folder under the system's temporary folder for one test, removed with everything in it at the
// end of the test. Paths inside are built as UTF-8 so accented names behave the same on every system.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "support/testFiles.h"

struct TempFolder {
    std::filesystem::path path;

    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "brevant-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
        }
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!path.empty()) {
            std::filesystem::remove_all(path, ignored);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path joined with a UTF-8 relative path, as a UTF-8 string.
    std::string at(const std::string& relative) const
    {
        const std::u8string text = (path / std::u8string(relative.begin(), relative.end())).u8string();
        return std::string(text.begin(), text.end());
    }

    // Writes a file, making its folders first.
    bool write(const std::string& relative, const std::vector<uint8_t>& bytes = {}) const
    {
        const std::filesystem::path file = path / std::u8string(relative.begin(), relative.end());
        std::error_code error;
        std::filesystem::create_directories(file.parent_path(), error);
        return !error && writeBytesToFile(file.string(), bytes);
    }
};
