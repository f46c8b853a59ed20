#include "layout/field_list.h"

namespace layout {

namespace {

class Lister {
  public:
    Lister(const Record& record, size_t limit) : record_(record), limit_(limit) {}

    // Lists the item at each of its occurrences and the items below it; false once the limit
    // is reached.
    bool List(int index, const std::vector<uint32_t>& subscripts, int depth) {
        const Item& item = record_.items[index];
        const uint32_t occurrences = item.table ? item.occurs : 1;
        for (uint32_t k = 1; k <= occurrences; ++k) {
            if (fields_.size() >= limit_) return false;
            std::vector<uint32_t> subs = subscripts;
            if (item.table) subs.push_back(k);
            fields_.push_back({index, subs, OccurrenceOffset(record_, index, subs), depth});
            for (int child : item.children) {
                if (!List(child, subs, depth + 1)) return false;
            }
        }
        return true;
    }

    std::vector<FieldOccurrence> Take() { return std::move(fields_); }

  private:
    const Record& record_;
    size_t limit_;
    std::vector<FieldOccurrence> fields_;
};

}  // namespace

std::vector<FieldOccurrence> ListFields(const Record& record, size_t limit, bool* complete) {
    Lister lister(record, limit);
    const bool all = lister.List(0, {}, 0);
    if (complete != nullptr) *complete = all;
    return lister.Take();
}

std::string OccurrenceName(const Record& record, const FieldOccurrence& field, bool qualified) {
    std::string text = qualified ? QualifiedName(record, field.item) : record.items[field.item].name;
    if (field.subscripts.empty()) return text;
    text += "(";
    for (size_t s = 0; s < field.subscripts.size(); ++s) {
        text += (s ? "," : "") + std::to_string(field.subscripts[s]);
    }
    return text + ")";
}

}  // namespace layout
