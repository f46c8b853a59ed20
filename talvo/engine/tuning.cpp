#include "talvo/engine/tuning.h"

#include <cstdlib>

#include "talvo/engine/engine_error.h"

namespace talvo::engine {
namespace {

constexpr uint64_t kMaxBudget = uint64_t{1} << 40;

struct BudgetName {
    const char* name;
    size_t Tuning::*field;
};

constexpr BudgetName kNames[] = {
    {"slot-buffer", &Tuning::slotBufferBytes}, {"pending-keys", &Tuning::pendingKeyBytes},
    {"filter", &Tuning::filterBytes},          {"run-buffers", &Tuning::runBufferBytes},
    {"index-txn", &Tuning::commitBytes},       {"mapped", &Tuning::mappedBytes},
    {"read-ahead", &Tuning::readAheadBytes},
};

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool ParseSize(std::string_view text, uint64_t* bytes) {
    uint64_t unit = 1;
    if (!text.empty()) {
        switch (text.back()) {
            case 'K':
            case 'k':
                unit = uint64_t{1} << 10;
                break;
            case 'M':
            case 'm':
                unit = uint64_t{1} << 20;
                break;
            case 'G':
            case 'g':
                unit = uint64_t{1} << 30;
                break;
        }
        if (unit != 1) text.remove_suffix(1);
    }
    if (text.empty() || text.size() > 13) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > kMaxBudget / unit) return false;
    *bytes = value * unit;
    return true;
}

// Applies the text to *tuning; the problem with it (nothing changed then), or empty.
std::string ReadBudgets(std::string_view text, Tuning* tuning) {
    Tuning result = *tuning;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view part = Trim(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (part.empty()) continue;
        const size_t equals = part.find('=');
        const std::string_view name = Trim(part.substr(0, equals));
        const BudgetName* known = nullptr;
        for (const BudgetName& n : kNames) {
            if (name == n.name) known = &n;
        }
        if (known == nullptr) {
            std::string names;
            for (const BudgetName& n : kNames) {
                if (!names.empty()) names += ", ";
                names += n.name;
            }
            std::string problem = "no budget is called \"";
            problem.append(name);
            return problem + "\" (budgets: " + names + ")";
        }
        uint64_t bytes = 0;
        if (equals == std::string_view::npos || !ParseSize(Trim(part.substr(equals + 1)), &bytes) ||
            bytes < kMinBudget) {
            std::string problem(1, '"');
            problem.append(part);
            problem += "\": a budget is a size from " + std::to_string(kMinBudget) +
                       " bytes to 1T, in bytes or with K, M or G (as in ";
            problem += known->name;
            return problem + "=64M)";
        }
        result.*(known->field) = static_cast<size_t>(bytes);
    }
    *tuning = result;
    return {};
}

struct Environment {
    Tuning tuning;
    std::string problem;
};

Environment& FromEnvironment() {
    static Environment env = [] {
        Environment e;
        const char* text = std::getenv("TALVO_BUDGETS");
        if (text != nullptr) {
            const std::string problem = ReadBudgets(text, &e.tuning);
            if (!problem.empty()) e.problem = "TALVO_BUDGETS: " + problem;
        }
        return e;
    }();
    return env;
}

}  // namespace

Tuning& CurrentTuning() {
    return FromEnvironment().tuning;
}

const std::string& BudgetsEnvironmentProblem() {
    return FromEnvironment().problem;
}

Status ParseBudgets(std::string_view text, Tuning* tuning) {
    std::string problem = ReadBudgets(text, tuning);
    if (problem.empty()) return Status::Ok();
    return Status::Failure(Error::kInvalidArgument, problem);
}

std::string BudgetsText(const Tuning& tuning) {
    std::string text;
    for (const BudgetName& n : kNames) {
        uint64_t value = tuning.*(n.field);
        const char* unit = "";
        for (const char* u : {"K", "M", "G"}) {
            if (value == 0 || value % 1024 != 0) break;
            value /= 1024;
            unit = u;
        }
        if (!text.empty()) text += ",";
        text += std::string(n.name) + "=" + std::to_string(value) + unit;
    }
    return text;
}

WorkCounters& Counters() {
    static WorkCounters counters;
    return counters;
}

}  // namespace talvo::engine

namespace talvo {

Status SetBudgets(std::string_view text) {
    return engine::ParseBudgets(text, &engine::CurrentTuning());
}

std::string CurrentBudgets() {
    return engine::BudgetsText(engine::CurrentTuning());
}

}  // namespace talvo
