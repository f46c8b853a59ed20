#include "layout/testing/random_copybook.h"

#include <algorithm>
#include <cctype>
#include <random>
#include <vector>

namespace layout::testing {

namespace {

// One piece of an entry as written: a word or a literal.
struct Piece {
    std::string text;
    bool literal = false;
};

struct Node {
    int level = 0;
    std::string name;                 // "" for an unnamed item
    std::string redefines;
    std::vector<std::vector<Piece>> clauses;  // each clause's words, in the order written
    std::vector<Node> children;
    std::vector<std::vector<Piece>> conditions;  // level-88 entries below it (their clauses)
    bool table = false;    // it has OCCURS or lies in a table
    bool pointer = false;  // it is or holds a pointer
    bool varies = false;   // it holds a table with DEPENDING ON
};

// What an item's place in the record allows.
struct Context {
    int depth = 1;
    bool inTable = false;
    bool inRedefines = false;
    std::string groupUsage;  // a binary or packed usage a group passes down: numbers only
    // Below a group with SIGN: no pointer, alphabetic item or INDEXED BY (the compiler stumbles
    // over each).
    bool signGroup = false;
};

class Generator {
  public:
    Generator(uint64_t seed, const std::string& prefix) : rng_(seed), prefix_(prefix) {}

    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    template <typename T>
    const T& Pick(const std::vector<T>& list) {
        return list[static_cast<size_t>(Between(0, static_cast<int>(list.size()) - 1))];
    }
    std::mt19937_64& rng() { return rng_; }

    std::string NewName() { return prefix_ + "F" + std::to_string(++names_); }

    std::vector<Node> Records() {
        std::vector<Node> records;
        const int count = Between(1, 3);
        bool redefinable = false;  // the records so far are the first and records redefining it
        for (int r = 0; r < count; ++r) {
            if (r > 0 && Chance(0.15)) {
                records.push_back(Standalone());
                redefinable = false;
                continue;
            }
            const bool redefine = redefinable && !records.front().varies && Chance(0.25);
            records.push_back(Record(redefine ? records.front().name : ""));
            redefinable = r == 0 || redefine;
        }
        return records;
    }

  private:
    static std::vector<Piece> Words(std::initializer_list<std::string> words) {
        std::vector<Piece> pieces;
        for (const std::string& w : words) pieces.push_back({w, false});
        return pieces;
    }

    Node Standalone() {
        Node node;
        node.level = 77;
        node.name = prefix_ + "S" + std::to_string(++names_);
        Elementary(&node, Context{});
        return node;
    }

    Node Record(const std::string& redefines) {
        Node root;
        root.level = 1;
        root.name = prefix_ + "R" + std::to_string(++names_);
        root.redefines = redefines;
        const bool depending = redefines.empty() && Chance(0.2);
        const int level = Pick<int>({2, 3, 5, 5, 5, 10});
        std::string counter;
        if (depending) {
            Node count;
            count.level = level;
            count.name = counter = NewName();
            count.clauses.push_back(Words({"PIC", Pick<std::string>({"9(2)", "99", "S9(4)",
                                                                     "9(3)"})}));
            if (Chance(0.4)) count.clauses.push_back(Words({Pick<std::string>({"COMP", "COMP-5"})}));
            root.children.push_back(std::move(count));
        }
        Context context;
        Children(&root, context, 5, level);
        if (depending) {
            root.children.push_back(DependingTable(counter, level));
            root.varies = true;
        }
        if (root.children.size() >= 2 && Chance(0.15)) Renames(&root);
        return root;
    }

    // A table whose occurrences vary with the counter, last in its record.
    Node DependingTable(const std::string& counter, int level) {
        Node node;
        node.level = level;
        node.name = NewName();
        node.table = true;
        const int minimum = Between(0, 1);
        std::vector<Piece> occurs = Words({"OCCURS", std::to_string(minimum), "TO",
                                           std::to_string(Between(minimum + 1, 6))});
        if (Chance(0.5)) occurs.push_back({"TIMES"});
        for (const Piece& p : Words({"DEPENDING", "ON", counter})) occurs.push_back(p);
        node.clauses.push_back(occurs);
        Context context;
        context.depth = 2;
        context.inTable = true;
        if (Chance(0.5)) {
            Children(&node, context, 3);
        } else {
            Elementary(&node, context);
        }
        return node;
    }

    // A level-66 entry over items at the start of the record that hold no table or pointer.
    void Renames(Node* root) {
        size_t usable = 0;
        while (usable < root->children.size() && !root->children[usable].table &&
               !root->children[usable].pointer && !root->children[usable].name.empty() &&
               root->children[usable].redefines.empty() &&
               root->children[usable].name != "FILLER") {
            ++usable;
        }
        if (usable == 0) return;
        Node renames;
        renames.level = 66;
        renames.name = NewName();
        const size_t first = static_cast<size_t>(Between(0, static_cast<int>(usable) - 1));
        const size_t last = static_cast<size_t>(Between(static_cast<int>(first),
                                                        static_cast<int>(usable) - 1));
        renames.clauses.push_back(Words({"RENAMES", root->children[first].name}));
        if (last != first) renames.clauses.back().push_back({"THRU"});
        if (last != first) renames.clauses.back().push_back({root->children[last].name});
        root->children.push_back(std::move(renames));
    }

    // Adds 1 to `most` items below the parent, at `level` (0: a level of their own choosing).
    void Children(Node* parent, const Context& context, int most, int level = 0) {
        const int count = Between(1, most);
        if (level == 0) level = parent->level + Between(1, 4);
        std::string original;  // the item the next REDEFINES may name
        for (int i = 0; i < count; ++i) {
            Node child;
            child.level = level;
            const int naming = Between(0, 19);
            child.name = naming == 0 ? "" : naming == 1 ? "FILLER" : NewName();
            Context inner = context;
            inner.depth = context.depth + 1;
            if (!original.empty() && Chance(0.2)) {
                child.redefines = original;
                inner.inRedefines = true;
            }
            if (context.depth < 4 && Chance(0.3)) {
                Group(&child, inner);
            } else {
                Elementary(&child, inner);
            }
            parent->table = parent->table || child.table;
            parent->pointer = parent->pointer || child.pointer;
            if (child.redefines.empty() && !child.name.empty() && child.name != "FILLER") {
                original = child.name;
            } else if (child.redefines.empty()) {
                original.clear();
            }
            parent->children.push_back(std::move(child));
        }
    }

    std::vector<Piece> Occurs(bool indexed) {
        std::vector<Piece> occurs = Words({"OCCURS", std::to_string(Between(1, 4))});
        if (Chance(0.5)) occurs.push_back({"TIMES"});
        if (indexed && Chance(0.3)) {
            for (const Piece& p : Words({"INDEXED", "BY", NewName()})) occurs.push_back(p);
        }
        return occurs;
    }

    void Group(Node* node, Context context) {
        if (Chance(0.25)) {
            node->clauses.push_back(Occurs(!context.signGroup));
            node->table = true;
            context.inTable = true;
        }
        if (context.groupUsage.empty() && Chance(0.1)) {
            context.groupUsage = Pick<std::string>({"COMP-3", "COMP", "COMP-5", "BINARY",
                                                    "PACKED-DECIMAL"});
            node->clauses.push_back(Chance(0.5) ? Words({"USAGE", context.groupUsage})
                                                : Words({context.groupUsage}));
        }
        if (Chance(0.05)) {
            context.signGroup = true;
            node->clauses.push_back(Words({"SIGN", Pick<std::string>({"LEADING", "TRAILING"})}));
            if (Chance(0.5)) node->clauses.back().push_back({"SEPARATE"});
        }
        if (Chance(0.05)) node->clauses.push_back(Words({"SYNC"}));
        Children(node, context, 4);
    }

    std::string Digits(int count) {
        if (count <= 4 && Chance(0.4)) return std::string(static_cast<size_t>(count), '9');
        return Chance(0.2) ? "9(0" + std::to_string(count) + ")" : "9(" + std::to_string(count) + ")";
    }

    // A numeric picture of at most `most` digits.
    std::string NumberPicture(int most, bool allowScaling) {
        const bool isSigned = Chance(0.5);
        std::string text = isSigned ? "S" : "";
        if (allowScaling && Chance(0.1)) {
            const int digits = Between(1, std::min(most, 6));
            const std::string p(static_cast<size_t>(Between(1, 3)), 'P');
            if (Chance(0.5)) return text + (Chance(0.5) ? "V" : "") + p + Digits(digits);
            return text + Digits(digits) + p;
        }
        const int total = Between(1, most);
        const int fraction = Between(0, std::min(4, total));
        const int whole = total - fraction;
        if (whole > 0) text += Digits(whole);
        if (fraction > 0) text += "V" + Digits(fraction);
        return text;
    }

    std::string UsageWord(const std::string& kind) {
        if (kind == "binary") {
            return Pick<std::string>({"COMP", "COMPUTATIONAL", "BINARY", "COMP-4", "COMPUTATIONAL-4"});
        }
        if (kind == "comp5") return Pick<std::string>({"COMP-5", "COMPUTATIONAL-5"});
        return Pick<std::string>({"COMP-3", "COMPUTATIONAL-3", "PACKED-DECIMAL"});
    }

    void Usage(Node* node, const std::string& word) {
        if (Chance(0.3)) {
            node->clauses.push_back(Words({"USAGE", "IS", word}));
        } else if (Chance(0.3)) {
            node->clauses.push_back(Words({"USAGE", word}));
        } else {
            node->clauses.push_back(Words({word}));
        }
    }

    void Picture(Node* node, const std::string& picture) {
        node->clauses.push_back(Chance(0.2) ? Words({"PICTURE", "IS", picture})
                                            : Words({Chance(0.3) ? "PICTURE" : "PIC", picture}));
    }

    void Elementary(Node* node, const Context& context) {
        std::string kind;
        if (!context.groupUsage.empty()) {
            kind = Chance(0.7) ? "inherited" : Pick<std::string>({"binary", "comp5", "packed"});
        } else {
            kind = Pick<std::string>({"text", "text", "text", "alphabetic", "edited-text",
                                      "number", "number", "number", "edited-number", "binary",
                                      "binary", "comp5", "packed", "packed", "float", "double",
                                      "pointer", "index"});
            if (kind == "pointer" && context.signGroup) kind = "index";
            if (kind == "alphabetic" && context.signGroup) kind = "text";
        }
        bool numeric = false;
        bool text = false;
        if (kind == "inherited") {
            const bool packed = context.groupUsage == "COMP-3" ||
                                context.groupUsage == "PACKED-DECIMAL";
            Picture(node, NumberPicture(packed ? 31 : 18, true));
            numeric = true;
        } else if (kind == "text") {
            const int n = Between(1, Chance(0.1) ? 80 : 20);
            Picture(node, Chance(0.3) && n <= 6 ? std::string(static_cast<size_t>(n), 'X')
                                                : "X(" + std::to_string(n) + ")");
            text = true;
        } else if (kind == "alphabetic") {
            Picture(node, Pick<std::string>({"A(5)", "AAA", "A", "AAB", "A9X", "X9(3)A"}));
        } else if (kind == "edited-text") {
            Picture(node, Pick<std::string>({"XXBX0X/", "X(3)/X(2)", "A(2)BA", "XB(2)X"}));
        } else if (kind == "number") {
            const std::string picture = NumberPicture(Chance(0.1) ? 38 : 18, true);
            Picture(node, picture);
            if (picture[0] == 'S' && Chance(0.4)) {
                std::vector<Piece> sign;
                if (Chance(0.6)) sign.push_back({"SIGN"});
                if (!sign.empty() && Chance(0.3)) sign.push_back({"IS"});
                sign.push_back({Pick<std::string>({"LEADING", "TRAILING"})});
                if (Chance(0.6)) sign.push_back({"SEPARATE"});
                if (sign.back().text == "SEPARATE" && Chance(0.3)) sign.push_back({"CHARACTER"});
                node->clauses.push_back(sign);
            }
            if (Chance(0.2)) Usage(node, "DISPLAY");
            numeric = true;
        } else if (kind == "edited-number") {
            // No picture begins with $: a line that begins so is a directive to the compiler.
            Picture(node, Pick<std::string>({"ZZZ9", "Z(4)9.99", "-(6)9", "+ZZ9", "Z,ZZ9.99CR",
                                             "ZZ,ZZ9.99DB", "***9.99", "+++.99", "99/99/99",
                                             "9(3)B9(3)", "--9.9", "ZZ9V99", "9(4)-", "99BB.99",
                                             "9(3)000", "Z(3)0"}));
        } else if (kind == "binary" || kind == "comp5" || kind == "packed") {
            Picture(node, NumberPicture(kind == "packed" ? 31 : 18, true));
            Usage(node, UsageWord(kind));
            numeric = true;
        } else if (kind == "float" || kind == "double") {
            Usage(node, kind == "float" ? Pick<std::string>({"COMP-1", "COMPUTATIONAL-1"})
                                        : Pick<std::string>({"COMP-2", "COMPUTATIONAL-2"}));
        } else if (kind == "pointer") {
            Usage(node, "POINTER");
            node->pointer = true;
        } else {
            Usage(node, "INDEX");
        }
        if (node->level != 77 && !node->table && Chance(0.15)) {
            node->clauses.push_back(Occurs(!context.signGroup));
            node->table = true;
        }
        if (Chance(0.25)) {
            node->clauses.push_back(Chance(0.7) ? Words({"SYNC"}) : Words({"SYNCHRONIZED"}));
        }
        if (!context.inRedefines && node->redefines.empty() && Chance(0.12)) {
            if (text) {
                node->clauses.push_back(Chance(0.5) ? Words({"VALUE", "SPACES"})
                                                    : std::vector<Piece>{{"VALUE"}, {"\"A\"", true}});
            } else if (numeric) {
                node->clauses.push_back(Words({"VALUE", Chance(0.5) ? "ZERO" : "ZEROS"}));
            } else if (node->pointer) {
                node->clauses.push_back(Words({"VALUE", "NULL"}));
            }
        }
        if ((text || numeric) && !node->name.empty() && node->name != "FILLER" && Chance(0.1)) {
            if (text) {
                node->conditions.push_back({{"VALUE"}, {"'Y'", true}, {"'y'", true}});
            } else {
                node->conditions.push_back(Words({"VALUE", "ZERO"}));
            }
        }
        // Long literals show continuation lines at work.
        if (text && !context.inRedefines && node->redefines.empty() && Chance(0.05)) {
            bool hasValue = false;
            for (const auto& c : node->clauses) hasValue = hasValue || c[0].text == "VALUE";
            if (!hasValue) {
                for (auto& c : node->clauses) {
                    if (c[0].text == "PIC" || c[0].text == "PICTURE") c = Words({"PIC", "X(70)"});
                }
                std::string literal = "\"";
                for (int k = 0; k < 60; ++k) literal += static_cast<char>('A' + k % 26);
                node->clauses.push_back({{"VALUE"}, {literal + "\"", true}});
            }
        }
    }

    std::mt19937_64 rng_;
    std::string prefix_;
    int names_ = 0;
};

// Writes entries in fixed form: 6 columns of sequence number, the indicator, code up to column
// 72 and perhaps an identification area; long words and literals are continued.
class FixedWriter {
  public:
    explicit FixedWriter(Generator* g)
        : g_(g), numbered_(g->Chance(0.5)), identified_(g->Chance(0.3)) {}

    void Comment(const std::string& text) {
        Emit(g_->Chance(0.8) ? '*' : '/', " " + text);
    }

    void Entry(int indent, const std::vector<Piece>& pieces) {
        indent_ = indent;
        line_ = std::string(static_cast<size_t>(indent), ' ');
        indicator_ = ' ';
        for (size_t i = 0; i < pieces.size(); ++i) {
            std::string text = pieces[i].text + (i + 1 == pieces.size() ? "." : "");
            Add(text, pieces[i].literal);
        }
        Emit(indicator_, line_);
        if (g_->Chance(0.1)) Emit(' ', "");
    }

    std::string text() const { return out_; }

  private:
    static constexpr size_t kWidth = 65;  // columns 8 to 72

    bool Fresh() const { return line_.find_first_not_of(' ') == std::string::npos; }

    void Add(std::string piece, bool literal) {
        const std::string gap = Fresh() ? "" : " ";
        if (line_.size() + gap.size() + piece.size() <= kWidth) {
            line_ += gap + piece;
            return;
        }
        const size_t room = line_.size() + gap.size() < kWidth ? kWidth - line_.size() - gap.size() : 0;
        const bool possible = literal ? room >= 2 && room < piece.rfind(piece[0])
                                      : room >= 1 && piece.size() >= 2;
        const bool split = possible && (Fresh() || g_->Chance(literal ? 0.8 : 0.3));
        if (!split) {
            Emit(indicator_, line_);
            indicator_ = ' ';
            line_ = std::string(static_cast<size_t>(indent_ + 4), ' ');
            if (line_.size() + piece.size() <= kWidth) {
                line_ += piece;
                return;
            }
            Add(piece, literal);  // too long even for a line of its own: split it
            return;
        }
        if (literal) {
            // The literal runs to column 72 and goes on after a quote on the next line; each
            // line keeps at least one character of the literal before its closing quote.
            const char quote = piece[0];
            line_ += gap + piece.substr(0, room);
            Emit(indicator_, line_);
            indicator_ = '-';
            line_ = std::string(static_cast<size_t>(g_->Between(4, 10)), ' ') + quote;
            std::string rest = piece.substr(room);
            while (line_.size() + rest.size() > kWidth) {
                const size_t closing = rest.size() - rest.rfind(quote);
                const size_t take = std::min(kWidth - line_.size(), rest.size() - closing - 1);
                line_ += rest.substr(0, take);
                rest = rest.substr(take);
                Emit(indicator_, line_);
                line_ = std::string(static_cast<size_t>(g_->Between(4, 10)), ' ') + quote;
            }
            line_ += rest;
            return;
        }
        const size_t take = static_cast<size_t>(
            g_->Between(1, static_cast<int>(std::min(room, piece.size() - 1))));
        line_ += gap + piece.substr(0, take);
        Emit(indicator_, line_);
        indicator_ = '-';
        line_ = std::string(static_cast<size_t>(g_->Between(4, 12)), ' ');
        Add(piece.substr(take), false);
    }

    void Emit(char indicator, std::string code) {
        std::string line;
        if (numbered_) {
            sequence_ += 10;
            std::string number = std::to_string(sequence_);
            line = std::string(6 - std::min<size_t>(6, number.size()), '0') + number.substr(0, 6);
        } else {
            line = "      ";
        }
        line += indicator;
        if (identified_ && code.size() <= kWidth) {
            code.resize(kWidth, ' ');
            code += "ID" + std::to_string(g_->Between(100, 999));
        }
        line += code;
        while (!line.empty() && line.back() == ' ' && line.size() > 7) line.pop_back();
        out_ += line + "\n";
    }

    Generator* g_;
    bool numbered_;
    bool identified_;
    int sequence_ = 0;
    int indent_ = 0;
    char indicator_ = ' ';
    std::string line_;
    std::string out_;
};

// Writes entries in free form: anywhere on a line, several on a line, or one spread over lines.
class FreeWriter {
  public:
    explicit FreeWriter(Generator* g) : g_(g) {}

    void Comment(const std::string& text) { Line("*> " + text); }

    void Entry(int indent, const std::vector<Piece>& pieces) {
        std::string text;
        for (size_t i = 0; i < pieces.size(); ++i) {
            if (i > 0) text += g_->Chance(0.05) ? "\n" + std::string(static_cast<size_t>(indent + 3), ' ')
                                                : g_->Chance(0.1) ? "\t" : " ";
            text += pieces[i].text;
        }
        text += ".";
        if (!pending_.empty() && g_->Chance(0.2) && pieces.front().text[0] != '$') {
            pending_ += "  " + text;
        } else {
            if (!pending_.empty()) Line(pending_);
            pending_ = std::string(static_cast<size_t>(indent), ' ') + text;
        }
        if (g_->Chance(0.1)) {
            Line(pending_ + "   *> a note");
            pending_.clear();
        }
    }

    std::string text() {
        if (!pending_.empty()) Line(pending_);
        pending_.clear();
        return out_;
    }

  private:
    void Line(const std::string& line) { out_ += line + "\n"; }

    Generator* g_;
    std::string pending_;
    std::string out_;
};

template <typename Writer>
void WriteNode(const Node& node, int depth, bool lower, Generator* g, Writer* writer) {
    std::vector<Piece> pieces;
    std::string level = std::to_string(node.level);
    if (level.size() == 1 && g->Chance(0.7)) level = "0" + level;
    pieces.push_back({level});
    if (!node.name.empty()) pieces.push_back({node.name});
    if (!node.redefines.empty()) {
        pieces.push_back({"REDEFINES"});
        pieces.push_back({node.redefines});
    }
    std::vector<std::vector<Piece>> clauses = node.clauses;
    if (g->Chance(0.3)) std::shuffle(clauses.begin(), clauses.end(), g->rng());
    for (const auto& clause : clauses) pieces.insert(pieces.end(), clause.begin(), clause.end());
    if (lower) {
        for (Piece& p : pieces) {
            if (p.literal) continue;
            for (char& c : p.text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    const int indent = node.level == 1 || node.level == 77 || node.level == 66 ? 0 : 4 * depth;
    if (g->Chance(0.05)) writer->Comment("about " + node.name);
    writer->Entry(indent, pieces);
    for (const auto& condition : node.conditions) {
        std::vector<Piece> entry = {{"88"}, {node.name + "-C"}};
        entry.insert(entry.end(), condition.begin(), condition.end());
        writer->Entry(indent + 4, entry);
    }
    for (const Node& child : node.children) WriteNode(child, depth + 1, lower, g, writer);
}

}  // namespace

RandomCopybook MakeRandomCopybook(uint64_t seed, const std::string& prefix) {
    Generator g(seed, prefix);
    const std::vector<Node> records = g.Records();
    const bool lower = g.Chance(0.2);
    RandomCopybook copybook;
    if (g.Chance(0.7)) {
        FixedWriter writer(&g);
        writer.Comment("copybook " + prefix + " of seed " + std::to_string(seed));
        for (const Node& record : records) WriteNode(record, 0, lower, &g, &writer);
        copybook.text = writer.text();
        copybook.format = SourceFormat::kFixed;
    } else {
        FreeWriter writer(&g);
        writer.Comment("copybook " + prefix + " of seed " + std::to_string(seed));
        for (const Node& record : records) WriteNode(record, 0, lower, &g, &writer);
        copybook.text = writer.text();
        copybook.format = SourceFormat::kFree;
    }
    return copybook;
}

}  // namespace layout::testing
