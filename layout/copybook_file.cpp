#include "layout/copybook_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace layout {

bool ReadCopybookFile(const std::string& path, const ReadOptions& options, Copybook* copybook,
                      std::string* error) {
    *copybook = {};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        *error = "cannot read the copybook " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        text.append(buffer, n);
        if (text.size() > kMaxCopybookBytes) {
            *error = "the copybook " + path + " is larger than " +
                     std::to_string(kMaxCopybookBytes) + " bytes";
            return false;
        }
        if (n < sizeof buffer) break;
    }
    if (std::ferror(file.get())) {
        *error = "cannot read the copybook " + path + ": " + std::strerror(errno);
        return false;
    }
    ReadError readError;
    if (!ReadCopybook(text, options, copybook, &readError)) {
        *error = path + ": " + readError.Text();
        return false;
    }
    return true;
}

}  // namespace layout
