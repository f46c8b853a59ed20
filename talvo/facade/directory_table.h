// The directory table of a connection: `size` numbered entries of a short name (at most three
// characters; empty for a free entry) and a path (platform or host form). Filled from the
// configuration file at connection; changes last for the connection only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "talvo/engine.h"
#include "talvo/facade/talvo_config.h"

namespace talvo {

class DirectoryTable {
  public:
    DirectoryTable() = default;
    // A table of `size` free entries.
    explicit DirectoryTable(size_t size) : entries_(size) {}

    size_t size() const { return entries_.size(); }

    // Fills the entries from index 0 on, in the order given. Entries whose name the table
    // refuses (CheckDirectoryName) or whose path is empty are passed over, and so are entries
    // beyond the table's size. Returns the number of entries passed over.
    size_t Fill(const std::vector<DirectoryConfigEntry>& entries);

    // Sets entry `index`. An empty name frees the entry (its path becomes empty too).
    // kInvalidArgument for an index outside the table or a name the table refuses; the
    // table is unchanged then.
    Status Set(int32_t index, std::string_view name, std::string_view path);

    // Entry `index`; kInvalidArgument past the table.
    Status Get(int32_t index, DirectoryConfigEntry* entry) const;

    // The first entry whose name equals `name` without regard to (ASCII) letter case;
    // kNoDirectory when there is none.
    Status Find(std::string_view name, DirectoryConfigEntry* entry) const;

  private:
    std::vector<DirectoryConfigEntry> entries_;
};

}  // namespace talvo
