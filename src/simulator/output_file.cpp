#include "simulator/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vesko::simulator {

std::variant<std::FILE*, std::string> open_for_writing(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file(path);
    if (fs::is_directory(file, ec)) return std::string("is a folder");
    const fs::path folder = file.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
        return (fs::exists(folder, ec) ? folder.string() + " is not a folder" : "no folder " + folder.string());
    }
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return std::string(errno != 0 ? std::strerror(errno) : "cannot open it for writing");
    return f;
}

}  // namespace vesko::simulator
