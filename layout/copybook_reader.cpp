#include "layout/copybook_reader.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "layout/placement.h"
#include "platform/text_case.h"
#include "layout/tokens.h"

namespace layout {

namespace {

std::string Upper(std::string_view text) { return platform::UpperCase(text); }

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool IsOneOf(const std::string& word, std::initializer_list<std::string_view> words) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

std::optional<Usage> UsageOf(const std::string& word) {
    if (IsOneOf(word, {"DISPLAY"})) return Usage::kDisplay;
    if (IsOneOf(word, {"COMP", "COMPUTATIONAL", "BINARY", "COMP-4", "COMPUTATIONAL-4"})) {
        return Usage::kBinary;
    }
    if (IsOneOf(word, {"COMP-5", "COMPUTATIONAL-5"})) return Usage::kComp5;
    if (IsOneOf(word, {"COMP-3", "COMPUTATIONAL-3", "PACKED-DECIMAL"})) return Usage::kPacked;
    if (IsOneOf(word, {"COMP-1", "COMPUTATIONAL-1"})) return Usage::kFloat;
    if (IsOneOf(word, {"COMP-2", "COMPUTATIONAL-2"})) return Usage::kDouble;
    if (IsOneOf(word, {"POINTER"})) return Usage::kPointer;
    if (IsOneOf(word, {"INDEX"})) return Usage::kIndex;
    return std::nullopt;
}

// A usage of some dialect that the layout does not describe.
bool IsOtherUsage(const std::string& word) {
    return word.rfind("COMP-", 0) == 0 || word.rfind("COMPUTATIONAL-", 0) == 0 ||
           word.rfind("BINARY-", 0) == 0 || word.rfind("FLOAT-", 0) == 0 ||
           word.rfind("SIGNED-", 0) == 0 || word.rfind("UNSIGNED-", 0) == 0 ||
           IsOneOf(word, {"NATIONAL", "PROGRAM-POINTER", "FUNCTION-POINTER",
                          "PROCEDURE-POINTER", "OBJECT", "DISPLAY-1", "BIT", "UTF-8"});
}

constexpr const char* kUsages =
    "DISPLAY, COMP, BINARY, COMP-4, COMP-5, COMP-3, PACKED-DECIMAL, COMP-1, COMP-2, POINTER and "
    "INDEX";

// Words that begin a clause: an entry whose level is followed by one of them has no name.
bool IsClauseWord(const std::string& word) {
    return UsageOf(word) || IsOtherUsage(word) ||
           IsOneOf(word, {"REDEFINES", "BLANK", "EXTERNAL", "GLOBAL", "IS", "JUSTIFIED", "JUST",
                          "OCCURS", "PIC", "PICTURE", "SIGN", "LEADING", "TRAILING", "SYNC",
                          "SYNCHRONIZED", "USAGE", "VALUE", "VALUES", "RENAMES"});
}

bool IsFigurative(const std::string& word) {
    return IsOneOf(word, {"ZERO", "ZEROS", "ZEROES", "SPACE", "SPACES", "HIGH-VALUE",
                          "HIGH-VALUES", "LOW-VALUE", "LOW-VALUES", "QUOTE", "QUOTES", "NULL",
                          "NULLS"});
}

bool IsNumericLiteral(const std::string& word) {
    size_t i = word.size() > 0 && (word[0] == '+' || word[0] == '-') ? 1 : 0;
    size_t digits = 0;
    bool point = false;
    for (; i < word.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(word[i]))) {
            ++digits;
        } else if (word[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits > 0;
}

// A user-defined word: letters, digits, hyphens and underscores, at least one letter, no hyphen
// at either end, at most 63 characters.
bool IsDataName(const std::string& word) {
    if (word.empty() || word.size() > 63 || word.front() == '-' || word.back() == '-') {
        return false;
    }
    bool letter = false;
    for (char c : word) {
        if (std::isalpha(static_cast<unsigned char>(c))) {
            letter = true;
        } else if (!std::isdigit(static_cast<unsigned char>(c)) && c != '-' && c != '_') {
            return false;
        }
    }
    return letter;
}

std::optional<int> LevelOf(const std::string& word) {
    if (!AllDigits(word) || word.size() > 2) return std::nullopt;
    const int level = std::stoi(word);
    if ((level >= 1 && level <= 49) || level == 66 || level == 77 || level == 88) return level;
    return std::nullopt;
}

std::string Quoted(const std::string& word) {
    return "\"" + word + "\"";
}

// One data description entry as written.
struct Entry {
    uint32_t line = 0;
    int level = 0;
    std::string name;
    bool filler = true;
    std::optional<Picture> picture;
    std::optional<Usage> usage;
    bool signGiven = false;
    bool signLeading = false;
    bool signSeparate = false;
    bool sync = false;
    bool occursGiven = false;
    uint32_t minOccurs = 1;
    uint32_t maxOccurs = 1;
    std::string dependingOn;
    std::string redefines;
};

class EntryReader {
  public:
    explicit EntryReader(const std::vector<Token>& tokens) : tokens_(tokens) {
        for (const Token& t : tokens) upper_.push_back(Upper(t.text));
    }

    enum class Result { kEntry, kEnd, kError };

    Result Next(Entry* e, ReadError* error) {
        error_ = error;
        while (Word("EJECT") || Word("SKIP1") || Word("SKIP2") || Word("SKIP3")) {
            ++pos_;
            if (Period()) ++pos_;
        }
        if (pos_ >= tokens_.size()) return Result::kEnd;
        const Token& first = tokens_[pos_];
        const std::string& word = upper_[pos_];
        if (first.kind == Token::Kind::kPeriod) {
            return Fail(first.line, "a period without an entry before it");
        }
        if (first.kind == Token::Kind::kLiteral) {
            return Fail(first.line, "a data description entry begins with a level number, not "
                                    "with the literal " + first.text);
        }
        if (word == "COPY" || word == "REPLACE") {
            return Fail(first.line, word + " statements are not read: give the copybook with the "
                                           "text they stand for in their place");
        }
        const std::optional<int> level = LevelOf(word);
        if (!level) {
            return Fail(first.line, Quoted(first.text) +
                                        " cannot begin a data description entry: a level number "
                                        "(01 to 49, 66, 77 or 88) was expected");
        }
        *e = Entry();
        e->line = first.line;
        e->level = *level;
        ++pos_;
        if (e->level == 66 || e->level == 88) return SkipEntry(e);
        if (pos_ < tokens_.size() && tokens_[pos_].kind == Token::Kind::kWord &&
            !IsClauseWord(upper_[pos_])) {
            const std::string& name = upper_[pos_];
            if (name != "FILLER") {
                if (!IsDataName(name)) {
                    return Fail(tokens_[pos_].line, Quoted(tokens_[pos_].text) +
                                                        " is not a valid data name");
                }
                e->filler = false;
            }
            e->name = name;
            ++pos_;
        } else {
            e->name = "FILLER";
        }
        return Clauses(e) ? Result::kEntry : Result::kError;
    }

  private:
    Result Fail(uint32_t line, std::string message) {
        *error_ = {line, std::move(message)};
        return Result::kError;
    }
    bool FailAt(uint32_t line, std::string message) {
        *error_ = {line, std::move(message)};
        return false;
    }
    uint32_t Line() const {
        return pos_ < tokens_.size() ? tokens_[pos_].line : tokens_.back().line;
    }
    bool Word(std::string_view word) const {
        return pos_ < tokens_.size() && tokens_[pos_].kind == Token::Kind::kWord &&
               upper_[pos_] == word;
    }
    bool Period() const {
        return pos_ < tokens_.size() && tokens_[pos_].kind == Token::Kind::kPeriod;
    }
    bool AnyWord() const { return pos_ < tokens_.size() && tokens_[pos_].kind == Token::Kind::kWord; }
    void Optional(std::string_view word) {
        if (Word(word)) ++pos_;
    }

    bool NoPeriod(const Entry& e) {
        return FailAt(e.line, "the entry for " + e.name + " does not end with a period");
    }

    Result SkipEntry(Entry* e) {
        while (pos_ < tokens_.size() && !Period()) ++pos_;
        if (pos_ >= tokens_.size()) {
            NoPeriod(*e);
            return Result::kError;
        }
        ++pos_;
        return Result::kEntry;
    }

    // A data name, perhaps qualified (NAME OF GROUP ...), as written.
    bool Name(const char* what, const Entry& e, std::string* out) {
        if (!AnyWord() || IsClauseWord(upper_[pos_]) || !IsDataName(upper_[pos_])) {
            return FailAt(Line(), std::string(what) + " in the entry for " + e.name +
                                      " needs a data name");
        }
        *out = upper_[pos_++];
        while ((Word("OF") || Word("IN")) && pos_ + 1 < tokens_.size() &&
               IsDataName(upper_[pos_ + 1])) {
            *out += " OF " + upper_[pos_ + 1];
            pos_ += 2;
        }
        return true;
    }

    bool Count(const Entry& e, uint32_t* out) {
        if (!AnyWord() || !AllDigits(upper_[pos_])) {
            if (Word("UNBOUNDED")) {
                return FailAt(Line(), "OCCURS ... UNBOUNDED is not supported (" + e.name + ")");
            }
            return FailAt(Line(), "OCCURS in the entry for " + e.name +
                                      " needs a whole number of occurrences");
        }
        const std::string& digits = upper_[pos_];
        if (digits.size() > 9) {
            return FailAt(Line(), "OCCURS " + digits + " in the entry for " + e.name +
                                      " is too many occurrences");
        }
        *out = static_cast<uint32_t>(std::stoul(digits));
        ++pos_;
        return true;
    }

    bool Occurs(Entry* e) {
        const uint32_t line = Line();
        if (e->occursGiven) return FailAt(line, e->name + " has two OCCURS clauses");
        e->occursGiven = true;
        ++pos_;
        uint32_t first = 0;
        if (!Count(*e, &first)) return false;
        e->minOccurs = e->maxOccurs = first;
        if (Word("TO")) {
            ++pos_;
            if (!Count(*e, &e->maxOccurs)) return false;
            if (e->maxOccurs <= first) {
                return FailAt(line, "OCCURS " + std::to_string(first) + " TO " +
                                        std::to_string(e->maxOccurs) + " in the entry for " +
                                        e->name + ": the maximum must be above the minimum");
            }
        }
        if (e->maxOccurs == 0) {
            return FailAt(line, "OCCURS in the entry for " + e->name +
                                    " needs at least one occurrence");
        }
        Optional("TIMES");
        for (;;) {
            if (Word("DEPENDING")) {
                ++pos_;
                Optional("ON");
                if (!Name("DEPENDING ON", *e, &e->dependingOn)) return false;
            } else if (Word("ASCENDING") || Word("DESCENDING")) {
                ++pos_;
                Optional("KEY");
                Optional("IS");
                if (!NameList("KEY", *e)) return false;
            } else if (Word("INDEXED")) {
                ++pos_;
                Optional("BY");
                if (!NameList("INDEXED BY", *e)) return false;
            } else {
                return true;
            }
        }
    }

    bool NameList(const char* what, const Entry& e) {
        std::string name;
        if (!Name(what, e, &name)) return false;
        while (AnyWord() && !IsClauseWord(upper_[pos_]) && IsDataName(upper_[pos_]) &&
               !Word("ASCENDING") && !Word("DESCENDING") && !Word("INDEXED") &&
               !Word("DEPENDING")) {
            if (!Name(what, e, &name)) return false;
        }
        return true;
    }

    bool Value() {
        if (pos_ >= tokens_.size()) return false;
        if (tokens_[pos_].kind == Token::Kind::kLiteral) {
            ++pos_;
            // Literals joined with &.
            while (Word("&") && pos_ + 1 < tokens_.size() &&
                   tokens_[pos_ + 1].kind == Token::Kind::kLiteral) {
                pos_ += 2;
            }
            return true;
        }
        if (!AnyWord()) return false;
        const std::string& word = upper_[pos_];
        if (word == "ALL") {
            ++pos_;
            return Value();
        }
        if (IsFigurative(word) || IsNumericLiteral(word)) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool Values(const Entry& e) {
        ++pos_;
        Optional("IS");
        Optional("ARE");
        if (!Value()) {
            return FailAt(Line(), "VALUE in the entry for " + e.name + " needs a literal");
        }
        for (;;) {
            if (Word("THRU") || Word("THROUGH")) {
                ++pos_;
                if (!Value()) {
                    return FailAt(Line(), "THRU in the entry for " + e.name + " needs a literal");
                }
            } else if (!Value()) {
                return true;
            }
        }
    }

    bool Sign(Entry* e) {
        if (e->signGiven) return FailAt(Line(), e->name + " has two SIGN clauses");
        if (Word("SIGN")) {
            ++pos_;
            Optional("IS");
        }
        if (!Word("LEADING") && !Word("TRAILING")) {
            return FailAt(Line(), "SIGN in the entry for " + e->name +
                                      " needs LEADING or TRAILING");
        }
        e->signGiven = true;
        e->signLeading = Word("LEADING");
        ++pos_;
        if (Word("SEPARATE")) {
            ++pos_;
            Optional("CHARACTER");
            e->signSeparate = true;
        }
        return true;
    }

    bool Clauses(Entry* e) {
        for (;;) {
            if (pos_ >= tokens_.size()) return NoPeriod(*e);
            const Token& t = tokens_[pos_];
            if (t.kind == Token::Kind::kPeriod) {
                ++pos_;
                return true;
            }
            if (t.kind == Token::Kind::kLiteral) {
                return FailAt(t.line, "the literal " + t.text + " stands where a clause of " +
                                          e->name + " was expected");
            }
            const std::string word = upper_[pos_];
            if (word == "PIC" || word == "PICTURE") {
                if (e->picture) return FailAt(t.line, e->name + " has two PICTURE clauses");
                ++pos_;
                Optional("IS");
                if (!AnyWord()) {
                    return FailAt(Line(), "PICTURE in the entry for " + e->name +
                                              " needs a character-string");
                }
                std::string reason;
                e->picture = ParsePicture(tokens_[pos_].text, &reason);
                if (!e->picture) {
                    return FailAt(t.line, "PICTURE " + tokens_[pos_].text + " of " + e->name +
                                              ": " + reason);
                }
                ++pos_;
            } else if (word == "USAGE" || UsageOf(word) || IsOtherUsage(word)) {
                if (e->usage) return FailAt(t.line, e->name + " has two USAGE clauses");
                if (word == "USAGE") {
                    ++pos_;
                    Optional("IS");
                }
                if (!AnyWord()) {
                    return FailAt(Line(), "USAGE in the entry for " + e->name + " needs a usage");
                }
                e->usage = UsageOf(upper_[pos_]);
                if (!e->usage) {
                    return FailAt(Line(), "USAGE " + upper_[pos_] + " of " + e->name +
                                              " is not supported; the usages read are " +
                                              kUsages);
                }
                ++pos_;
            } else if (word == "OCCURS") {
                if (!Occurs(e)) return false;
            } else if (word == "REDEFINES") {
                if (!e->redefines.empty()) {
                    return FailAt(t.line, e->name + " has two REDEFINES clauses");
                }
                ++pos_;
                if (!AnyWord() || !IsDataName(upper_[pos_]) || IsClauseWord(upper_[pos_])) {
                    return FailAt(Line(), "REDEFINES in the entry for " + e->name +
                                              " needs a data name");
                }
                e->redefines = upper_[pos_++];
            } else if (word == "SIGN" || word == "LEADING" || word == "TRAILING") {
                if (!Sign(e)) return false;
            } else if (word == "SYNC" || word == "SYNCHRONIZED") {
                ++pos_;
                e->sync = true;
                if (Word("LEFT") || Word("RIGHT")) ++pos_;
            } else if (word == "JUSTIFIED" || word == "JUST") {
                ++pos_;
                Optional("RIGHT");
            } else if (word == "BLANK") {
                ++pos_;
                Optional("WHEN");
                if (!Word("ZERO") && !Word("ZEROS") && !Word("ZEROES")) {
                    return FailAt(Line(), "BLANK in the entry for " + e->name +
                                              " needs WHEN ZERO");
                }
                ++pos_;
            } else if (word == "EXTERNAL" || word == "GLOBAL") {
                ++pos_;
            } else if (word == "IS" && pos_ + 1 < tokens_.size() &&
                       (upper_[pos_ + 1] == "EXTERNAL" || upper_[pos_ + 1] == "GLOBAL")) {
                pos_ += 2;
            } else if (word == "VALUE" || word == "VALUES") {
                if (!Values(*e)) return false;
            } else if (LevelOf(word)) {
                return FailAt(t.line, Quoted(t.text) + " stands where a clause of " + e->name +
                                          " was expected: does the entry for " + e->name +
                                          " (line " + std::to_string(e->line) +
                                          ") lack its period?");
            } else {
                return FailAt(t.line, Quoted(t.text) +
                                          " is not a clause of a data description entry (in the "
                                          "entry for " +
                                          e->name + ")");
            }
        }
    }

    const std::vector<Token>& tokens_;
    std::vector<std::string> upper_;
    size_t pos_ = 0;
    ReadError* error_ = nullptr;
};

// Puts the entries together into records.
class Builder {
  public:
    explicit Builder(BinarySize binarySize) : binarySize_(binarySize) {}

    bool Add(const Entry& e, ReadError* error) {
        error_ = error;
        if (e.level == 88 || e.level == 66) {
            if (records_.empty()) {
                return Fail(e.line, std::string("a level-") + std::to_string(e.level) +
                                        " entry must follow the item or record it belongs to");
            }
            return true;
        }
        if (e.level == 1 || e.level == 77) return StartRecord(e);
        if (records_.empty()) {
            return Fail(e.line, "level " + std::to_string(e.level) + " (" + e.name +
                                    ") comes before any record: a record begins with level 01 "
                                    "or 77");
        }
        std::vector<Item>& items = records_.back().items;
        if (items.front().level == 77) {
            return Fail(e.line, "the level-77 item " + items.front().name + " (line " +
                                    std::to_string(items.front().line) +
                                    ") stands alone; begin a record with level 01");
        }
        int parent = open_.back();
        if (e.level > items[parent].level) {
            if (items[parent].picture) {
                return Fail(e.line, items[parent].name + " (line " +
                                        std::to_string(items[parent].line) +
                                        ") has a PICTURE, so no item can lie below it");
            }
        } else {
            std::string levels;
            for (int i : open_) levels += (levels.empty() ? "" : ", ") + Level(items[i].level);
            while (open_.size() > 1 && items[open_.back()].level > e.level) open_.pop_back();
            if (open_.size() < 2 || items[open_.back()].level != e.level) {
                return Fail(e.line, "level " + Level(e.level) + " of " + e.name +
                                        " matches no level above it (" + levels + ")");
            }
            open_.pop_back();
            parent = open_.back();
        }
        Item item = NewItem(e);
        item.parent = parent;
        const Item& up = items[parent];
        if (!e.usage) item.usage = up.usage;
        if (!e.signGiven) {
            item.signLeading = up.signLeading;
            item.signSeparate = up.signSeparate;
        }
        if (!e.redefines.empty() && !FindRedefined(e, &item)) return false;
        const int index = static_cast<int>(items.size());
        items[parent].children.push_back(index);
        const bool varies = !item.dependingOn.empty();
        items.push_back(std::move(item));
        signGiven_.push_back(e.signGiven);
        varies_.push_back(false);
        if (varies) {
            for (int i = index; i >= 0 && !varies_[static_cast<size_t>(i)]; i = items[i].parent) {
                varies_[static_cast<size_t>(i)] = true;
            }
        }
        open_.push_back(index);
        return true;
    }

    bool Finish(Copybook* copybook, ReadError* error) {
        error_ = error;
        if (!records_.empty() && !FinishRecord()) return false;
        copybook->records = std::move(records_);
        return true;
    }

    bool empty() const { return records_.empty(); }

  private:
    static std::string Level(int level) { return (level < 10 ? "0" : "") + std::to_string(level); }

    bool Fail(uint32_t line, std::string message) {
        *error_ = {line, std::move(message)};
        return false;
    }

    static Item NewItem(const Entry& e) {
        Item item;
        item.level = e.level;
        item.name = e.name;
        item.filler = e.filler;
        item.line = e.line;
        item.usage = e.usage.value_or(Usage::kDisplay);
        item.picture = e.picture;
        item.signLeading = e.signLeading;
        item.signSeparate = e.signSeparate;
        item.sync = e.sync;
        item.table = e.occursGiven;
        item.occurs = e.maxOccurs;
        item.minOccurs = e.minOccurs;
        item.dependingOn = e.dependingOn;
        item.redefines = e.redefines;
        return item;
    }

    bool StartRecord(const Entry& e) {
        if (!records_.empty() && !FinishRecord()) return false;
        if (e.occursGiven) {
            return Fail(e.line, e.name + " is a record (level " + Level(e.level) +
                                    ") and cannot have OCCURS");
        }
        if (!e.redefines.empty()) {
            // As within a record: the record just before, or the record that one redefines.
            const Item* before = records_.empty() ? nullptr : &records_.back().items.front();
            if (before == nullptr || ((before->filler || before->name != e.redefines) &&
                                      before->redefines != e.redefines)) {
                return Fail(e.line, "REDEFINES " + e.redefines + " in the entry for " + e.name +
                                        ": " + e.redefines +
                                        " must be the record just before, or the record that "
                                        "one redefines");
            }
        }
        Record record;
        record.items.push_back(NewItem(e));
        records_.push_back(std::move(record));
        signGiven_.assign(1, e.signGiven);
        varies_.assign(1, false);
        open_.assign(1, 0);
        return true;
    }

    // The item to redefine is the item just before, at the same level, or the item that the
    // item just before redefines.
    bool FindRedefined(const Entry& e, Item* item) {
        const std::vector<Item>& items = records_.back().items;
        const std::vector<int>& siblings = items[item->parent].children;
        if (!siblings.empty()) {
            const int before = siblings.back();
            const int original = items[before].redefined >= 0 ? items[before].redefined : before;
            if ((!items[before].filler && items[before].name == e.redefines) ||
                (!items[original].filler && items[original].name == e.redefines)) {
                item->redefined = original;
                if (varies_[static_cast<size_t>(original)]) {
                    return Fail(e.line, e.name + " redefines " + items[original].name +
                                            ", whose length varies (OCCURS DEPENDING ON); such "
                                            "an item cannot be redefined");
                }
                return true;
            }
        }
        return Fail(e.line, "REDEFINES " + e.redefines + " in the entry for " + e.name + ": " +
                                e.redefines +
                                " must be the item just before at the same level, or the item "
                                "that one redefines");
    }

    bool CheckElementary(Item& item, bool signGiven) {
        const std::string& name = item.name;
        const bool needsPicture = item.usage == Usage::kDisplay || item.usage == Usage::kBinary ||
                                  item.usage == Usage::kComp5 || item.usage == Usage::kPacked;
        if (needsPicture && !item.picture) {
            return Fail(item.line, name + " needs a PICTURE (only COMP-1, COMP-2, POINTER and "
                                          "INDEX items go without)");
        }
        if (!needsPicture && item.picture) {
            return Fail(item.line, name + " is USAGE " + UsageName(item.usage) +
                                       ", which takes no PICTURE");
        }
        if (item.usage != Usage::kDisplay && needsPicture) {
            if (item.picture->category != Category::kNumeric) {
                return Fail(item.line, "PICTURE " + item.picture->text + " of " + name +
                                           " does not go with USAGE " + UsageName(item.usage) +
                                           ", which needs a numeric picture (9, S, V, P)");
            }
            if (item.usage != Usage::kPacked && item.picture->digits > 18) {
                return Fail(item.line, name + " is binary and can have at most 18 digits, not " +
                                           std::to_string(item.picture->digits));
            }
        }
        item.category = item.picture ? item.picture->category : Category::kNumeric;
        const bool signedDisplay = item.usage == Usage::kDisplay && item.picture &&
                                   item.picture->isSigned;
        if (signGiven && !(signedDisplay && item.category == Category::kNumeric)) {
            return Fail(item.line, "SIGN of " + name +
                                       " needs a USAGE DISPLAY item whose PICTURE has an S");
        }
        // A group's SIGN ... SEPARATE reaches edited items with a sign symbol too: the compiler
        // gives them the byte of a separate sign.
        if (!signedDisplay) item.signLeading = item.signSeparate = false;
        return true;
    }

    // A table whose length varies must not lie in another table, and nothing but REDEFINES may
    // follow it in its record.
    bool CheckDepending(const std::vector<Item>& items, int index) {
        const Item& table = items[index];
        for (int p = table.parent; p >= 0; p = items[p].parent) {
            if (items[p].table) {
                return Fail(table.line, table.name + " varies in length (DEPENDING ON) and "
                                                     "cannot lie in the table " +
                                            items[p].name);
            }
        }
        for (int p = index; items[p].parent >= 0; p = items[p].parent) {
            const std::vector<int>& siblings = items[items[p].parent].children;
            auto after = std::find(siblings.begin(), siblings.end(), p);
            for (++after; after != siblings.end(); ++after) {
                if (items[*after].redefined < 0) {
                    return Fail(items[*after].line,
                                items[*after].name + " follows the table " + table.name +
                                    " (line " + std::to_string(table.line) +
                                    "), whose length varies (DEPENDING ON); only items that "
                                    "REDEFINES may follow it in its record");
                }
            }
        }
        return true;
    }

    bool FinishRecord() {
        Record& record = records_.back();
        std::vector<Item>& items = record.items;
        for (size_t i = 0; i < items.size(); ++i) {
            Item& item = items[i];
            if (item.isGroup()) {
                item.category = Category::kGroup;
            } else if (!CheckElementary(item, signGiven_[i])) {
                return false;
            }
        }
        for (size_t i = 0; i < items.size(); ++i) {
            if (!items[i].dependingOn.empty() && !CheckDepending(items, static_cast<int>(i))) {
                return false;
            }
        }
        uint32_t line = 0;
        std::string message;
        if (!PlaceRecord(&record, binarySize_, &line, &message)) return Fail(line, message);
        return true;
    }

    BinarySize binarySize_;
    std::vector<Record> records_;
    std::vector<bool> signGiven_;  // by item of the last record: it has a SIGN clause of its own
    std::vector<bool> varies_;     // ... it is or holds a table with DEPENDING ON
    std::vector<int> open_;        // the last item of the last record and the groups above it
    ReadError* error_ = nullptr;
};

bool ReadAs(std::string_view text, SourceFormat format, BinarySize binarySize,
            Copybook* copybook, ReadError* error) {
    SourceText source;
    SourceError sourceError;
    std::vector<Token> tokens;
    if (!ReadSource(text, format, &source, &sourceError) ||
        !Tokenize(source, &tokens, &sourceError)) {
        *error = {sourceError.line, sourceError.message};
        return false;
    }
    EntryReader reader(tokens);
    Builder builder(binarySize);
    Entry entry;
    for (;;) {
        const EntryReader::Result result = reader.Next(&entry, error);
        if (result == EntryReader::Result::kError) return false;
        if (result == EntryReader::Result::kEnd) break;
        if (!builder.Add(entry, error)) return false;
    }
    if (builder.empty()) {
        *error = {tokens.empty() ? 1 : tokens.back().line,
                  "the copybook describes no record (no level-01 or level-77 entry)"};
        return false;
    }
    return builder.Finish(copybook, error);
}

}  // namespace

std::string ReadError::Text() const {
    return "line " + std::to_string(line) + ": " + message;
}

bool ReadCopybook(std::string_view text, const ReadOptions& options, Copybook* copybook,
                  ReadError* error) {
    *copybook = {};
    if (options.format != SourceFormat::kDetect) {
        return ReadAs(text, options.format, options.binarySize, copybook, error) ||
               (*copybook = {}, false);
    }
    const SourceFormat detected = DetectFormat(text);
    if (ReadAs(text, detected, options.binarySize, copybook, error)) return true;
    const SourceFormat other =
        detected == SourceFormat::kFixed ? SourceFormat::kFree : SourceFormat::kFixed;
    Copybook second;
    ReadError ignored;
    if (ReadAs(text, other, options.binarySize, &second, &ignored)) {
        *copybook = std::move(second);
        return true;
    }
    *copybook = {};
    return false;
}

}  // namespace layout
