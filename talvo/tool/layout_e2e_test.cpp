// `talvo layout` and `talvo dump --layout` end to end, through the built program; and the
// demonstration copybook against the data `talvo gen` makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "e2e/program_run.h"
#include "layout/copybook_reader.h"
#include "layout/field_value.h"
#include "talvo/tool/data_gen.h"

namespace {

namespace fs = std::filesystem;
using e2e::ReadFile;
using e2e::WriteFile;

const std::string kDemoCopybook = std::string(ORDELIN_SOURCE_DIR) + "/demo/customer.cpy";

// A record of 24 bytes: a code, a packed amount, a binary count and a table of three
// two-byte parts; and a second record.
constexpr const char* kOrderCopybook = R"(      * orders
       01  ORDER-REC.
           05  ORD-CODE            PIC X(4).
           05  ORD-AMOUNT          PIC S9(5)V99 COMP-3.
           05  ORD-COUNT           PIC S9(4) COMP.
           05  ORD-PARTS           OCCURS 3 TIMES.
               10  PART-ID         PIC X(2).
           05  ORD-FLAGS           PIC X(8).
       01  OTHER-REC               PIC X(10).
)";

class TalvoLayout : public ::testing::Test {
  protected:
    struct Result {
        int code = -1;
        std::string out;
        std::string err;
    };

    std::string P(const std::string& name) const { return scratch_.Path(name); }

    Result Run(const std::vector<std::string>& args) {
        const e2e::RunResult r = e2e::RunProgram(TALVO_EXE, args, scratch_.Options());
        EXPECT_FALSE(r.timedOut || r.SanitizerReport()) << r.Describe();
        return {r.Status(), r.out, r.err};
    }

    std::string Ok(const std::vector<std::string>& args) {
        const Result r = Run(args);
        EXPECT_EQ(r.code, 0) << args[0] << ": " << r.err;
        return r.out;
    }

    // A records-only file of the given records, end to end.
    void MakeFile(const std::string& name, uint32_t recordSize, const std::string& records) {
        Ok({"create", P(name), "--type", "1", "--record-size", std::to_string(recordSize)});
        WriteFile(P(name + ".in"), records);
        Ok({"import", P(name), "--input", P(name + ".in")});
    }

    e2e::Scratch scratch_;
};

TEST_F(TalvoLayout, LayoutShowsEveryItemAsATableOrJson) {
    WriteFile(P("order.cpy"), kOrderCopybook);
    const std::string table = Ok({"layout", P("order.cpy"), "--record", "order-rec"});
    EXPECT_EQ(table,
              "ORDER-REC: 24 bytes\n"
              "LEVEL  NAME           OFFSET  LENGTH  USAGE     PICTURE         OCCURS\n"
              "01     ORDER-REC           0      24  GROUP\n"
              "05       ORD-CODE          0       4  DISPLAY   X(4)\n"
              "05       ORD-AMOUNT        4       4  COMP-3    S9(5)V99\n"
              "05       ORD-COUNT         8       2  COMP      S9(4)\n"
              "05       ORD-PARTS        10       2  GROUP                     3\n"
              "10         PART-ID        10       2  DISPLAY   X(2)\n"
              "05       ORD-FLAGS        16       8  DISPLAY   X(8)\n");
    // Without --record, every record.
    EXPECT_NE(Ok({"layout", P("order.cpy")}).find("\nOTHER-REC: 10 bytes\n"), std::string::npos);

    const std::string json = Ok({"layout", P("order.cpy"), "--json"});
    EXPECT_EQ(json.front(), '[');
    EXPECT_NE(json.find("{\"record\":\"ORDER-REC\",\"name\":\"PART-ID\",\"qualified\":\"PART-ID "
                        "OF ORD-PARTS OF ORDER-REC\",\"level\":10,\"offset\":10,\"length\":2,"
                        "\"usage\":\"DISPLAY\",\"picture\":\"X(2)\",\"occurs\":1,"
                        "\"redefines\":null,\"dependingOn\":null}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"name\":\"ORD-PARTS\",\"qualified\":\"ORD-PARTS OF ORDER-REC\","
                        "\"level\":5,\"offset\":10,\"length\":2,\"usage\":\"GROUP\","
                        "\"picture\":null,\"occurs\":3"),
              std::string::npos);
    EXPECT_EQ(std::count(json.begin(), json.end(), '{'), 8);

    // The binary size is the compiler option's, and free form is read as told.
    WriteFile(P("binary.cpy"), "01 B.\n  05 N PIC 9(7) COMP.\n");
    EXPECT_NE(Ok({"layout", P("binary.cpy")}).find("B: 4 bytes"), std::string::npos);
    EXPECT_NE(Ok({"layout", P("binary.cpy"), "--binary-size", "1--8", "--source-format", "free"})
                  .find("B: 3 bytes"),
              std::string::npos);
    EXPECT_EQ(Run({"layout", P("binary.cpy"), "--source-format", "fixed"}).code, 1);
}

TEST_F(TalvoLayout, DumpShowsEachRecordFieldByField) {
    WriteFile(P("order.cpy"), kOrderCopybook);
    // ORD-AMOUNT -123.45 packed, ORD-COUNT 258 big-endian, parts AA BB CC, flags with a NUL.
    std::string first = "A001";
    first += std::string("\x00\x12\x34\x5D", 4);
    first += std::string("\x01\x02", 2);
    first += "AABBCC";
    first += std::string("ok\0\0\0\0\0\0", 8);
    std::string second = "B002" + std::string("\x00\x00\x00\x0C", 4) + std::string("\xFF\xFF", 2) +
                         "XXYYZZ" + "flags   ";
    MakeFile("orders", 24, first + second);

    const std::string dump =
        Ok({"dump", P("orders"), "--layout", P("order.cpy"), "--record", "ORDER-REC"});
    EXPECT_EQ(dump.substr(0, dump.find("record 1")),
              "record 0\n"
              "       0          ORDER-REC\n"
              "       0       4    ORD-CODE      \"A001\"\n"
              "       4       4    ORD-AMOUNT    -123.45\n"
              "       8       2    ORD-COUNT     258\n"
              "      10            ORD-PARTS(1)\n"
              "      10       2      PART-ID(1)  \"AA\"\n"
              "      12            ORD-PARTS(2)\n"
              "      12       2      PART-ID(2)  \"BB\"\n"
              "      14            ORD-PARTS(3)\n"
              "      14       2      PART-ID(3)  \"CC\"\n"
              "      16       8    ORD-FLAGS     hex 6F6B000000000000 (not text: byte 2 is 00)\n");
    EXPECT_NE(dump.find("ORD-AMOUNT    0.00\n"), std::string::npos);
    EXPECT_NE(dump.find("ORD-COUNT     -1\n"), std::string::npos);

    const std::string json = Ok({"dump", P("orders"), "--layout", P("order.cpy"), "--record",
                                 "ORDER-REC", "--json", "--limit", "1"});
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 1);
    EXPECT_NE(json.find("{\"name\":\"PART-ID\",\"qualified\":\"PART-ID OF ORD-PARTS OF "
                        "ORDER-REC(2)\",\"subscripts\":[2],\"offset\":12,\"length\":2,"
                        "\"value\":\"BB\"}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"value\":null,\"hex\":\"6F6B000000000000\",\"error\":\"not text: "
                        "byte 2 is 00\""),
              std::string::npos)
        << json;
}

TEST_F(TalvoLayout, TheDemonstrationCopybookDescribesTheGeneratedCustomers) {
    // Its fields are the generator's, byte for byte.
    layout::Copybook copybook;
    layout::ReadError error;
    ASSERT_TRUE(layout::ReadCopybook(ReadFile(kDemoCopybook), {}, &copybook, &error))
        << error.Text();
    ASSERT_EQ(copybook.records.size(), 1u);
    const layout::Record& record = copybook.records[0];
    const auto& generated = talvo::tool::GetLayout(talvo::tool::Layout::kCustomer);
    EXPECT_EQ(record.length(), generated.recordSize);
    for (const auto& field : generated.fields) {
        const bool found = std::any_of(record.items.begin(), record.items.end(), [&](const auto& i) {
            return i.offset == field.position && i.length == field.length;
        });
        EXPECT_TRUE(found) << field.name;
    }
    // Every field of every generated record decodes.
    talvo::tool::DataGenerator data(talvo::tool::Layout::kCustomer, 2000, 1);
    for (uint64_t n = 0; n < 2000; ++n) {
        const std::string bytes = data.Record(n);
        for (const layout::Item& item : record.items) {
            const auto value = layout::DecodeField(
                item, {reinterpret_cast<const uint8_t*>(bytes.data()) + item.offset, item.length});
            ASSERT_TRUE(value.decoded) << item.name << " of record " << n << ": " << value.reason;
        }
    }

    // And talvo shows them so, a deleted record's mark as bytes that do not decode.
    Ok({"gen", P("cust"), "--records", "20", "--deleted-every", "10"});
    const std::string dump = Ok({"dump", P("cust"), "--layout", kDemoCopybook, "--limit", "10"});
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 10 * (1 + 13));
    EXPECT_NE(dump.find("CUST-CITY "), std::string::npos);
    EXPECT_NE(dump.find("record 9  deleted\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(not a number: byte 6 is FE, not a digit)"), std::string::npos) << dump;
}

TEST_F(TalvoLayout, BadCopybooksAndMismatchesGiveOneLineAndChangeNothing) {
    WriteFile(P("order.cpy"), kOrderCopybook);
    WriteFile(P("broken.cpy"), "       01  R.\n           05  A PIC X(3).\n           05  B PIC Q.\n");
    WriteFile(P("long.cpy"), "       01  R PIC X(30).\n");
    fs::create_directory(P("folder.cpy"));
    MakeFile("small", 24, std::string(48, 'x'));
    Ok({"gen", P("keys"), "--records", "3"});
    Ok({"create", P("keyonly"), "--type", "4", "--record-size", "0", "--key-size", "4"});
    const std::string before = ReadFile(P("small"));
    struct Row {
        std::vector<std::string> args;
        int code;
        std::string words;
    } rows[] = {
        {{"layout", P("broken.cpy")}, 1, "broken.cpy: line 3: PICTURE Q of B: 'Q' is not a PICTURE symbol"},
        {{"layout", P("missing.cpy")}, 1, "cannot read the copybook"},
        {{"layout", P("folder.cpy")}, 1, "cannot read the copybook"},
        {{"layout", P("order.cpy"), "--record", "NOPE"}, 2, "has no record NOPE; its records: ORDER-REC, OTHER-REC"},
        {{"layout", P("order.cpy"), "--binary-size", "3-6"}, 2, "--binary-size"},
        {{"layout", P("order.cpy"), "--source-format", "loose"}, 2, "--source-format"},
        {{"layout"}, 2, "COPYBOOK is required"},
        {{"dump", P("small"), "--layout", P("order.cpy")}, 2, "describes 2 records (ORDER-REC, OTHER-REC); choose one with --record"},
        {{"dump", P("small"), "--layout", P("long.cpy")}, 1, "the record R of " + P("long.cpy") + " is 30 bytes, longer than the 24-byte records of " + P("small")},
        {{"dump", P("small"), "--record", "R"}, 2, "--record requires --layout"},
        {{"dump", P("small"), "--layout", P("broken.cpy")}, 1, "line 3"},
        {{"dump", P("keyonly"), "--layout", P("long.cpy")}, 2, "a key-only file has no records"},
    };
    for (const Row& row : rows) {
        const Result r = Run(row.args);
        const std::string shown = row.args.size() > 1 ? row.args[0] + " " + row.args[1] : row.args[0];
        EXPECT_EQ(r.code, row.code) << shown << ": " << r.err;
        EXPECT_EQ(r.err.rfind("talvo: ", 0), 0u) << shown << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << ": " << r.err;
        EXPECT_NE(r.err.find(row.words), std::string::npos) << shown << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << shown << ": " << r.out;
    }
    EXPECT_EQ(ReadFile(P("small")), before);
    EXPECT_EQ(Run({"check", P("small")}).code, 0);
}

}  // namespace
