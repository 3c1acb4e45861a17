// Every MOF file of the repository as sfcb's MOF preprocessor (sfcbmofpp, run by sfcbstage) sees
// it: that tool cuts a line at "//" or "/*" unless the line begins with a quote, in which case it
// looks only after the line's last quote. Text it cuts must be a comment, never part of a string.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Where the preprocessor starts cutting the line, or npos.
size_t preprocessor_cut(const std::string &line) {
    size_t from = line.find_first_not_of(" \t");
    if (from == std::string::npos) {
        return std::string::npos;
    }
    if (line[from] == '"') {
        from = line.rfind('"') + 1;
    }
    for (size_t slash = line.find('/', from); slash != std::string::npos;
         slash = line.find('/', slash + 1)) {
        if (slash + 1 < line.size() && (line[slash + 1] == '/' || line[slash + 1] == '*')) {
            return slash;
        }
    }
    return std::string::npos;
}

// Whether `pos` lies inside a string literal of the line (escapes \" and \\ honoured).
bool inside_string(const std::string &line, size_t pos) {
    bool open = false;
    for (size_t i = 0; i < pos; ++i) {
        if (open && line[i] == '\\') {
            ++i;
        } else if (line[i] == '"') {
            open = !open;
        }
    }
    return open;
}

// "file:line: text" for every line whose string the preprocessor would cut.
std::vector<std::string> cut_strings(const fs::path &mof) {
    std::vector<std::string> found;
    std::ifstream in(mof);
    bool inBlockComment = false;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (inBlockComment) {
            size_t end = line.find("*/");
            if (end == std::string::npos) {
                continue;
            }
            inBlockComment = false;
            line.erase(0, end + 2);
        }
        size_t cut = preprocessor_cut(line);
        if (cut == std::string::npos) {
            continue;
        }
        if (inside_string(line, cut)) {
            found.push_back(mof.string() + ":" + std::to_string(number) + ": " + line);
        } else if (line.compare(cut, 2, "/*") == 0 &&
                   line.find("*/", cut + 2) == std::string::npos) {
            inBlockComment = true;
        }
    }
    return found;
}

std::vector<fs::path> repository_mofs() {
    std::vector<fs::path> mofs;
    const fs::path root = ZELK_SOURCE_DIR;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string name = it->path().filename().string();
        if (it->is_directory() && (name.rfind("build", 0) == 0 || name[0] == '.')) {
            it.disable_recursion_pending(); // build trees and hidden directories hold no sources
        } else if (it->is_regular_file() && it->path().extension() == ".mof") {
            mofs.push_back(it->path());
        }
    }
    return mofs;
}

TEST(MofFiles, PreprocessorCutsNoString) {
    const std::vector<fs::path> mofs = repository_mofs();
    EXPECT_GE(mofs.size(), 8u);
    for (const fs::path &mof : mofs) {
        EXPECT_EQ(std::vector<std::string>{}, cut_strings(mof));
    }
}

} // namespace
