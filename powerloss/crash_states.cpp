#include "powerloss/crash_states.h"

#include <algorithm>
#include <random>
#include <unordered_set>

namespace powerloss {
namespace {

bool ChangesAName(Kind kind) {
    switch (kind) {
        case Kind::kCreate:
        case Kind::kMkdir:
        case Kind::kSymlink:
        case Kind::kLink:
        case Kind::kUnlink:
        case Kind::kRename:
            return true;
        default:
            return false;
    }
}

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::kCreate:
            return "create";
        case Kind::kMkdir:
            return "mkdir";
        case Kind::kSymlink:
            return "symlink";
        case Kind::kLink:
            return "link";
        case Kind::kUnlink:
            return "unlink";
        case Kind::kRename:
            return "rename";
        case Kind::kSync:
            return "sync";
        case Kind::kSyncAll:
            return "sync of everything";
        case Kind::kWrite:
            return "write";
        case Kind::kTruncate:
            return "truncate";
        default:
            return "event";
    }
}

std::string PointText(const std::vector<Event>& log, size_t point) {
    if (point >= log.size()) return "at the end";
    const Event& e = log[point];
    std::string text = "before event " + std::to_string(point) + " (" + KindName(e.kind);
    if (!e.name.empty()) text += " " + e.name;
    if (!e.name2.empty()) text += " -> " + e.name2;
    if (e.kind == Kind::kSync || e.kind == Kind::kWrite || e.kind == Kind::kTruncate)
        text += " of inode " + std::to_string(e.ino);
    return text + ")";
}

// Picks the points at which states are built.
std::vector<size_t> CrashPoints(const std::vector<Event>& log, const std::vector<ProgramRun>& runs,
                                std::set<size_t>* mandatory) {
    size_t first = log.size();
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].kind == Kind::kStart) {
            first = i;
            break;
        }
    }
    std::set<size_t> points;
    for (size_t i = first; i < log.size(); ++i) {
        const Event& e = log[i];
        if ((e.kind == Kind::kSync && (e.flags & kFailed) == 0) || e.kind == Kind::kSyncAll ||
            ChangesAName(e.kind)) {
            points.insert(i);
        }
    }
    for (const ProgramRun& run : runs) {
        if (run.acknowledged != std::string::npos) mandatory->insert(run.acknowledged + 1);
    }
    mandatory->insert(log.size());
    points.insert(mandatory->begin(), mandatory->end());
    return {points.begin(), points.end()};
}

std::vector<size_t> Thin(const std::vector<size_t>& points, const std::set<size_t>& mandatory,
                         size_t most) {
    if (points.size() <= most) return points;
    std::set<size_t> kept(mandatory.begin(), mandatory.end());
    const size_t others = most > kept.size() ? most - kept.size() : 0;
    for (size_t i = 0; i < others; ++i) kept.insert(points[i * points.size() / others]);
    return {kept.begin(), kept.end()};
}

// The variants tried at a point, in order.
enum class Variant { kDurable, kEverything, kPrefix, kTornLast, kRandom };

const char* VariantName(Variant v) {
    switch (v) {
        case Variant::kDurable:
            return "nothing pending kept";
        case Variant::kEverything:
            return "everything kept";
        case Variant::kPrefix:
            return "a prefix kept";
        case Variant::kTornLast:
            return "the last write torn";
        case Variant::kRandom:
            return "a random subset kept";
    }
    return "";
}

bool MakeChoice(const CrashModel& model, Variant variant, size_t round, std::mt19937_64& random,
                Choice* choice) {
    const std::vector<CrashModel::PendingChange> files = model.PendingFileChanges();
    const std::vector<CrashModel::PendingNames> folders = model.PendingNameFolders();
    switch (variant) {
        case Variant::kDurable:
            *choice = model.DurableOnly();
            return true;
        case Variant::kEverything:
            *choice = model.Everything();
            return true;
        case Variant::kPrefix: {
            std::vector<size_t> events;
            for (const auto& f : files) events.push_back(f.event);
            for (const auto& n : folders) events.insert(events.end(), n.events.begin(), n.events.end());
            std::sort(events.begin(), events.end());
            events.erase(std::unique(events.begin(), events.end()), events.end());
            if (events.size() < 2) return false;
            const size_t cutoff = events[1 + random() % (events.size() - 1)];
            choice->files.clear();
            for (const auto& f : files)
                choice->files.push_back({f.event < cutoff ? Take::kApply : Take::kSkip});
            choice->namePrefix.clear();
            for (const auto& n : folders) {
                choice->namePrefix.push_back(static_cast<size_t>(
                    std::count_if(n.events.begin(), n.events.end(),
                                  [cutoff](size_t e) { return e < cutoff; })));
            }
            return true;
        }
        case Variant::kTornLast: {
            *choice = model.Everything();
            for (size_t i = files.size(); i-- > 0;) {
                if (model.SectorsOf(files[i].event) >= 2) {
                    choice->files[i] = {Take::kTorn, random(), false};
                    return true;
                }
            }
            return false;
        }
        case Variant::kRandom: {
            static const uint32_t kKeepPercent[3] = {10, 50, 90};
            const uint32_t keep = kKeepPercent[round % 3];
            choice->files.clear();
            for (const auto& f : files) {
                FileChoice c{Take::kSkip};
                if (random() % 100 < keep) {
                    c.take = Take::kApply;
                    if (model.SectorsOf(f.event) >= 2 && random() % 2 == 0) {
                        c = {Take::kTorn, random(), random() % 2 == 0};
                    }
                }
                choice->files.push_back(c);
            }
            choice->namePrefix.clear();
            for (const auto& n : folders)
                choice->namePrefix.push_back(static_cast<size_t>(random() % (n.count + 1)));
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<ProgramRun> ProgramsOf(const std::vector<Event>& log, const std::set<int>& success) {
    std::vector<ProgramRun> runs;
    std::map<uint32_t, size_t> byPid;  // the latest run of each pid
    std::map<uint32_t, size_t> lastOut;
    for (size_t i = 0; i < log.size(); ++i) {
        const Event& e = log[i];
        if (e.kind == Kind::kStart) {
            ProgramRun run;
            run.pid = e.pid;
            run.start = i;
            for (char c : e.data) run.arguments += c == '\0' ? ' ' : c;
            while (!run.arguments.empty() && run.arguments.back() == ' ') run.arguments.pop_back();
            byPid[e.pid] = runs.size();
            lastOut.erase(e.pid);
            runs.push_back(std::move(run));
        } else if (e.kind == Kind::kOut) {
            lastOut[e.pid] = i;
        } else if (e.kind == Kind::kExit) {
            auto it = byPid.find(e.pid);
            if (it == byPid.end()) continue;
            ProgramRun& run = runs[it->second];
            run.end = i;
            run.status = static_cast<int>(e.value);
            if (success.count(run.status) != 0) {
                auto out = lastOut.find(e.pid);
                run.acknowledged = out != lastOut.end() ? out->second : i;
            }
        }
    }
    return runs;
}

bool ForEachCrashState(const std::vector<Event>& log, const StateOptions& options,
                       const std::function<bool(const CrashState&)>& fn, ReplayFigures* figures,
                       std::string* problem) {
    const std::vector<ProgramRun> runs = ProgramsOf(log, options.success);
    std::set<size_t> mandatory;
    std::vector<size_t> points = CrashPoints(log, runs, &mandatory);
    figures->points = points.size();
    if (options.endOnly) points = {log.size()};
    points = Thin(points, mandatory, std::max<size_t>(1, options.maxStates / 2));
    figures->pointsUsed = points.size();

    CrashModel model(log);
    std::unordered_set<uint64_t> seen;
    for (size_t p = 0; p < points.size(); ++p) {
        const size_t point = points[p];
        while (model.position() < point) {
            if (!model.Step(problem)) return false;
        }
        CrashState crash;
        crash.point = point;
        for (const ProgramRun& run : runs) {
            if (run.acknowledged < point) crash.acknowledged.push_back(run.pid);
        }
        const size_t remaining =
            options.maxStates > figures->states ? options.maxStates - figures->states : 0;
        if (remaining == 0) break;
        const size_t quota =
            options.endOnly ? 2 : std::max<size_t>(2, remaining / (points.size() - p));
        std::mt19937_64 random(options.seed * 0x9E3779B97F4A7C15ull + point);
        size_t made = 0;
        size_t duplicatesInARow = 0;
        for (size_t attempt = 0; made < quota && made < remaining; ++attempt) {
            const Variant variant = attempt < 4 ? static_cast<Variant>(attempt) : Variant::kRandom;
            if (options.endOnly && attempt >= 2) break;
            if (variant == Variant::kRandom &&
                (duplicatesInARow >= options.duplicateLimit || attempt > 4 * quota + 8)) {
                break;
            }
            Choice choice;
            if (!MakeChoice(model, variant, attempt, random, &choice)) continue;
            const State state = model.Build(choice);
            if (!seen.insert(state.Fingerprint()).second) {
                ++figures->duplicates;
                ++duplicatesInARow;
                continue;
            }
            duplicatesInARow = 0;
            ++made;
            ++figures->states;
            crash.description = PointText(log, point) + ": " + VariantName(variant);
            crash.state = &state;
            if (!fn(crash)) return true;
        }
    }
    return true;
}

bool FinalState(const std::vector<Event>& log, State* state, std::string* problem) {
    CrashModel model(log);
    while (!model.done()) {
        if (!model.Step(problem)) return false;
    }
    *state = model.Build(model.Everything());
    return true;
}

}  // namespace powerloss
