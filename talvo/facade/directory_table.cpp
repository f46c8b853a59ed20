#include "talvo/facade/directory_table.h"

#include "platform/text_case.h"
#include "talvo/facade/facade_status.h"

namespace talvo {
namespace {


}  // namespace

size_t DirectoryTable::Fill(const std::vector<DirectoryConfigEntry>& entries) {
    size_t next = 0;
    size_t passedOver = 0;
    for (const DirectoryConfigEntry& e : entries) {
        if (next >= entries_.size() || !CheckDirectoryName(e.name).ok() || e.path.empty()) {
            ++passedOver;
            continue;
        }
        entries_[next++] = e;
    }
    return passedOver;
}

Status DirectoryTable::Set(int32_t index, std::string_view name, std::string_view path) {
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) {
        return Status::Failure(Error::kInvalidArgument, "directory index " + std::to_string(index) +
                                                            " is outside the table of " +
                                                            std::to_string(entries_.size()) +
                                                            " entries");
    }
    if (name.empty()) {
        entries_[index] = {};
        return Status::Ok();
    }
    if (Status s = CheckDirectoryName(name); !s.ok()) return s;
    entries_[index] = {std::string(name), std::string(path)};
    return Status::Ok();
}

Status DirectoryTable::Get(int32_t index, DirectoryConfigEntry* entry) const {
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) {
        return Status::Failure(Error::kInvalidArgument, "directory index " + std::to_string(index) +
                                                            " is past the table of " +
                                                            std::to_string(entries_.size()) +
                                                            " entries");
    }
    *entry = entries_[index];
    return Status::Ok();
}

Status DirectoryTable::Find(std::string_view name, DirectoryConfigEntry* entry) const {
    if (!name.empty()) {
        for (const DirectoryConfigEntry& e : entries_) {
            if (platform::EqualsIgnoringCase(e.name, name)) {
                *entry = e;
                return Status::Ok();
            }
        }
    }
    return Status::Failure(Error::kNoDirectory,
                           "directory \"" + std::string(name) + "\" is not in the directory table");
}

}  // namespace talvo
