// The COBOL copybook reader and what uses its records: field names and decoding. The input's
// first byte chooses how the rest is read:
//   bits 0-1   the source form: detect, fixed or free (3: detect)
//   bits 2-3   the binary size: 1-2-4-8, 2-4-8 or 1--8 (3: 1-2-4-8)
//   the rest   the copybook
// Whatever the input, the reader either gives records whose every item lies inside its record,
// or refuses with the number of a line of the input and a reason; each item's qualified name
// resolves to a field or is refused, and its bytes decode or are shown in hex, all without a
// crash.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "layout/copybook_reader.h"
#include "layout/field_ref.h"
#include "layout/field_value.h"

namespace {

constexpr size_t kMaxInput = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > kMaxInput) return 0;
    using layout::SourceFormat;
    const SourceFormat forms[] = {SourceFormat::kDetect, SourceFormat::kFixed, SourceFormat::kFree,
                                  SourceFormat::kDetect};
    const layout::BinarySize sizes[] = {layout::BinarySize::k1248, layout::BinarySize::k248,
                                        layout::BinarySize::k1to8, layout::BinarySize::k1248};
    layout::ReadOptions options;
    options.format = forms[data[0] & 3];
    options.binarySize = sizes[(data[0] >> 2) & 3];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    layout::Copybook copybook;
    layout::ReadError error;
    if (!layout::ReadCopybook(text, options, &copybook, &error)) {
        const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        FUZZ_CHECK(error.line >= 1 && error.line <= lines, error.Text());
        FUZZ_CHECK(!error.message.empty(), "a refusal without a reason");
        FUZZ_CHECK(copybook.records.empty(), "records left after a refusal");
        return 0;
    }
    FUZZ_CHECK(!copybook.records.empty(), "a copybook read without a record");
    for (const layout::Record& record : copybook.records) {
        const uint64_t length = record.length();
        FUZZ_CHECK(length <= layout::kMaxPictureSize, "a record beyond the largest");
        const std::vector<uint8_t> zeros(length, 0x00);
        const std::vector<uint8_t> ones(length, 0xFF);
        for (size_t i = 0; i < record.items.size() && i < 2000; ++i) {
            const layout::Item& item = record.items[i];
            FUZZ_CHECK(item.offset + item.length * item.occurs <= length,
                       item.name + " lies outside its record");
            std::string reason;
            const auto field = layout::ResolveField(
                record, layout::QualifiedName(record, static_cast<int>(i)), &reason);
            FUZZ_CHECK(field || !reason.empty(), "a refusal without a reason");
            if (item.length <= 4096) {
                for (const auto* bytes : {&zeros, &ones}) {
                    const auto value = layout::DecodeField(
                        item, std::span<const uint8_t>(bytes->data() + item.offset, item.length));
                    FUZZ_CHECK(value.decoded || !value.reason.empty(), "no reason given");
                }
            }
        }
    }
    return 0;
}
