#include "talvo/tool/data_gen.h"

#include <array>
#include <cstdio>
#include <numeric>

namespace talvo::tool {

namespace {

constexpr std::array kFirstNames = {
    "Anna",   "Bernd", "Clara",  "David", "Elena", "Felix", "Greta",  "Hannes", "Ida",    "Jonas",
    "Karin",  "Lukas", "Maria",  "Nils",  "Olga",  "Paul",  "Quirin", "Rosa",   "Simon",  "Tanja",
    "Ulrich", "Vera",  "Walter", "Xenia", "Yusuf", "Zoe",   "Marek",  "Ines",   "Tobias", "Lena"};
constexpr std::array kLastNames = {
    "Albers", "Brandt",   "Castell", "Dorn",     "Ebner", "Falk",    "Gruber",    "Hartmann",
    "Imhof",  "Jansen",   "Krause",  "Lindner",  "Moser", "Neumann", "Ostrowski", "Pohl",
    "Quandt", "Richter",  "Seidel",  "Thiele",   "Urban", "Vogel",   "Winter",    "Zander",
    "Becker", "Kowalski", "Novak",   "Petersen", "Rossi", "Santos"};
constexpr std::array kStreets = {"Mill Lane",     "Station Road",  "Church Street", "Harbour Way",
                                 "Linden Avenue", "Market Square", "Bridge Street", "Garden Row",
                                 "Oak Close",     "River Walk",    "Castle Hill",   "School Lane",
                                 "Meadow Drive",  "North Street",  "Park Terrace",  "Vine Court",
                                 "Kings Road",    "Forge Lane",    "Elm Grove",     "Quarry Path"};
constexpr std::array kCities = {
    "Aldbury",   "Brackwede",  "Carrow",     "Dunmore",    "Eastleigh",   "Falkenau",
    "Glenrith",  "Hollbrook",  "Innerby",    "Jarrow Bay", "Kestwick",    "Lindau",
    "Marlow",    "Northfleet", "Oakhampton", "Penrose",    "Queensferry", "Rothwell",
    "Saltcoats", "Tarnow",     "Upton Mill", "Valmont",    "Westbury",    "Yarrowdale"};
constexpr std::array kArticles = {
    "Steel bolts M8",   "Oak panel 2m",    "Copper pipe 15mm", "Paint white 5l",
    "Hinge brass",      "Glass sheet 4mm", "Cable 3x1.5",      "Drill bit set",
    "Wood screws 4x40", "Sealant clear",   "Ladder 3m",        "Work gloves L",
    "Tile grout grey",  "LED lamp 9W",     "Door handle",      "Sandpaper P120"};
constexpr std::array kOrderStates = {"OP", "SH", "IN", "PD"};
constexpr char kCustomerStates[] = "AAAAAAIB";

const LayoutInfo kCustomerLayout = {"customer",
                                    100,
                                    8,
                                    0,
                                    {{"number", 0, 8},
                                     {"name", 8, 24},
                                     {"street", 32, 24},
                                     {"postcode", 56, 5},
                                     {"city", 61, 18},
                                     {"since", 79, 8},
                                     {"balance", 87, 12},
                                     {"status", 99, 1}}};

const LayoutInfo kOrdersLayout = {"orders",
                                  64,
                                  10,
                                  0,
                                  {{"number", 0, 10},
                                   {"customer", 10, 8},
                                   {"date", 18, 8},
                                   {"article", 26, 20},
                                   {"quantity", 46, 4},
                                   {"amount", 50, 12},
                                   {"status", 62, 2}}};

uint64_t SplitMix(uint64_t* state) {
    uint64_t z = (*state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// A small generator for the fields of one record.
class Dice {
  public:
    explicit Dice(uint64_t seed) : state_(seed) {}
    uint64_t Below(uint64_t n) { return SplitMix(&state_) % n; }
    template <size_t N>
    const char* Pick(const std::array<const char*, N>& list) {
        return list[Below(N)];
    }

  private:
    uint64_t state_;
};

// Writes text into the record at the field, left-aligned and space-padded, cut to its width.
void Put(std::string* record, const FieldInfo& field, std::string_view text) {
    std::string_view cut = text.substr(0, field.length);
    record->replace(field.position, cut.size(), cut);
}

std::string Digits(uint64_t value, int width) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*llu", width, static_cast<unsigned long long>(value));
    return buffer;
}

// An amount in cents as right-aligned "-1234.56".
std::string Amount(int64_t cents, int width) {
    char buffer[40];
    unsigned long long magnitude = static_cast<unsigned long long>(cents < 0 ? -cents : cents);
    std::snprintf(buffer, sizeof buffer, "%s%llu.%02llu", cents < 0 ? "-" : "", magnitude / 100,
                  magnitude % 100);
    std::string text = buffer;
    if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
    return text;
}

std::string Date(Dice* dice, int firstYear, int lastYear) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = firstYear + static_cast<int>(dice->Below(lastYear - firstYear + 1));
    int month = 1 + static_cast<int>(dice->Below(12));
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    int day = 1 + static_cast<int>(dice->Below(days));
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", year, month, day);
    return buffer;
}

}  // namespace

const LayoutInfo& GetLayout(Layout layout) {
    return layout == Layout::kCustomer ? kCustomerLayout : kOrdersLayout;
}

std::optional<Layout> ParseLayout(std::string_view name) {
    if (name == "customer") return Layout::kCustomer;
    if (name == "orders") return Layout::kOrders;
    return std::nullopt;
}

DataGenerator::DataGenerator(Layout layout, uint64_t records, uint64_t seed)
    : layout_(GetLayout(layout)), kind_(layout), records_(records), seed_(seed) {
    uint64_t state = seed ^ 0x5DEECE66DULL;
    step_ = records_ <= 1 ? 1 : 1 + SplitMix(&state) % (records_ - 1);
    while (std::gcd(step_, records_) != 1) ++step_;
    offset_ = SplitMix(&state) % records_;
}

uint64_t DataGenerator::Number(uint64_t i) const {
    // Both factors stay below 10^8, so the product fits.
    return (i * step_ + offset_) % records_ + 1;
}

std::string DataGenerator::Record(uint64_t i) const {
    std::string record(layout_.recordSize, ' ');
    uint64_t state = seed_ * 0x9E3779B97F4A7C15ULL + i;
    Dice dice(SplitMix(&state));
    const auto& f = layout_.fields;
    if (kind_ == Layout::kCustomer) {
        Put(&record, f[0], Digits(Number(i), 8));
        Put(&record, f[1], std::string(dice.Pick(kFirstNames)) + " " + dice.Pick(kLastNames));
        Put(&record, f[2], std::to_string(1 + dice.Below(180)) + " " + dice.Pick(kStreets));
        Put(&record, f[3], Digits(10000 + dice.Below(90000), 5));
        Put(&record, f[4], dice.Pick(kCities));
        Put(&record, f[5], Date(&dice, 1990, 2024));
        Put(&record, f[6], Amount(static_cast<int64_t>(dice.Below(5'500'001)) - 500'000, 12));
        record[f[7].position] = kCustomerStates[dice.Below(sizeof kCustomerStates - 1)];
    } else {
        Put(&record, f[0], Digits(Number(i), 10));
        Put(&record, f[1], Digits(1 + dice.Below(99'999), 8));
        Put(&record, f[2], Date(&dice, 2015, 2024));
        Put(&record, f[3], dice.Pick(kArticles));
        uint64_t quantity = 1 + dice.Below(250);
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "%4llu", static_cast<unsigned long long>(quantity));
        Put(&record, f[4], buffer);
        int64_t unitCents = 50 + static_cast<int64_t>(dice.Below(20'000));
        Put(&record, f[5], Amount(unitCents * static_cast<int64_t>(quantity), 12));
        Put(&record, f[6], dice.Pick(kOrderStates));
    }
    return record;
}

}  // namespace talvo::tool
