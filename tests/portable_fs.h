// Temporary directories and files for tests, the same on Linux and under
// Windows (std::filesystem, with error codes rather than exceptions).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

// Makes a new, empty directory under the system's temporary directory whose
// name starts with prefix; empty when none could be made.
inline std::string make_temp_directory(const char *prefix) {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) {
        return {};
    }
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char name[96];
        std::snprintf(name, sizeof name, "%s-%lx-%u", prefix,
                      static_cast<unsigned long>(std::hash<std::string>{}(base.string()) ^
                                                 reinterpret_cast<uintptr_t>(&error)),
                      ++serial);
        const std::filesystem::path path = base / name;
        if (std::filesystem::create_directory(path, error) && !error) {
            return path.string();
        }
    }
    return {};
}

// Removes a directory and everything in it; true when it is gone.
inline bool remove_tree(const std::string &path) {
    std::error_code error;
    std::filesystem::remove_all(path, error);
    return !error && !std::filesystem::exists(path, error);
}

// Makes the directory name holding one empty file, so that the name can be
// neither deleted nor replaced by a file.
inline bool make_directory_holding(const char *name, const char *file) {
    std::error_code error;
    if (!std::filesystem::create_directory(name, error) || error) {
        return false;
    }
    FILE *inside = std::fopen((std::filesystem::path(name) / file).string().c_str(), "wb");
    if (inside == nullptr) {
        return false;
    }
    std::fclose(inside);
    return true;
}

// Removes everything inside the current directory; true when it is empty.
inline bool empty_current_directory() {
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(".", error)) {
        std::filesystem::remove_all(entry.path(), error);
        if (error) {
            return false;
        }
    }
    return !error;
}
