// Writes small zip archives for tests with minizip's zip API.
#pragma once

#include <gtest/gtest.h>

#include <minizip/zip.h>
#include <string>
#include <utility>
#include <vector>

namespace testzip {

using Files = std::vector<std::pair<std::string, std::string>>; // name in the archive, content

inline void write(const std::string &path, const Files &files) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(nullptr, zip);
    for (const auto &[name, data] : files) {
        zip_fileinfo info{};
        ASSERT_EQ(ZIP_OK, zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0,
                                                nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0));
        ASSERT_EQ(ZIP_OK,
                  zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())));
        ASSERT_EQ(ZIP_OK, zipCloseFileInZip(zip));
    }
    ASSERT_EQ(ZIP_OK, zipClose(zip, nullptr));
}

} // namespace testzip
