#include "talvo/tool/tool_common.h"

#include <algorithm>
#include <cctype>

#include "platform/path.h"
#include "platform/text_case.h"
#include "talvo/facade/talvo_config.h"

namespace talvo::tool {

namespace {


}  // namespace

std::string StatusText(const Status& status) {
    return status.message().empty() ? ErrorText(status.code()) : status.message();
}

void Require(const Status& status, const std::string& context) {
    if (!status.ok()) throw ToolError(context + ": " + StatusText(status));
}

std::string ResolveFile(const FileRef& ref) {
    if (ref.file.empty()) throw UsageError("the file name is empty");
    if (ref.dir.empty()) return ref.file;
    std::string configPath;
    Require(TalvoConfigPath(&configPath), "cannot find the directory table");
    Require(CheckDirectoryConfigReadable(configPath), "cannot use the directory table");
    std::vector<DirectoryConfigEntry> entries;
    Require(LoadDirectoryConfig(configPath, &entries), "cannot use the directory table");
    // Only the entries that the component's directory table takes in: a valid name and a path.
    auto entry = std::find_if(entries.begin(), entries.end(), [&](const DirectoryConfigEntry& e) {
        return !e.path.empty() && CheckDirectoryName(e.name).ok() &&
               platform::EqualsIgnoringCase(e.name, ref.dir);
    });
    if (entry == entries.end()) {
        throw ToolError("no directory \"" + ref.dir + "\" in " + configPath +
                        " (see talvo dirs list)");
    }
    auto host = platform::ToHostPath(platform::JoinPath(entry->path, ref.file));
    if (!host) {
        throw ToolError("directory \"" + entry->name + "\" (" + entry->path +
                        ") is on a drive that is not available");
    }
    return *host;
}

OpenedFile::OpenedFile(Engine& engine, const std::string& hostPath)
    : engine_(engine), path_(hostPath) {
    Require(engine_.Open(hostPath, &file_), "cannot open " + hostPath);
}

OpenedFile::~OpenedFile() {
    if (file_) engine_.Close(file_);
}

void OpenedFile::Close() {
    Require(TryClose(), "cannot close " + path_);
}

Status OpenedFile::TryClose() {
    std::shared_ptr<DataFile> file = std::move(file_);
    file_.reset();
    return engine_.Close(file);
}

bool IsKeyed(FileType type) {
    return type == FileType::kKeyed || type == FileType::kExtendedKeyed;
}

std::string TypeText(FileType type) {
    switch (type) {
        case FileType::kRecords1:
            return "1 (records)";
        case FileType::kRecords2:
            return "2 (records)";
        case FileType::kKeyed:
            return "4 (keyed)";
        case FileType::kExtendedKeyed:
            return "36 (extended keyed)";
    }
    return std::to_string(static_cast<int>(type));
}

}  // namespace talvo::tool
