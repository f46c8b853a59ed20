// The replayer on logs written by hand: what a power loss keeps and loses, torn writes, names in
// folders not synced, inode numbers used again, acknowledgements, and the folder round trip.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "powerloss/crash_states.h"
#include "powerloss/folder_state.h"

namespace powerloss {
namespace {

constexpr uint64_t kRootIno = 1;
constexpr uint32_t kPid = 100;

// A log written by hand: the folder (inode 1) and then what a program did.
class Log {
  public:
    Log() { Add({Kind::kRoot, 0, 0, kRootIno}); }

    Log& Base(uint64_t ino, const std::string& name, const std::string& bytes) {
        Event e{Kind::kBaseEntry, static_cast<uint8_t>(EntryType::kFile), 0, ino, kRootIno};
        e.name = name;
        e.data = bytes;
        return Add(e);
    }
    Log& Start(uint32_t pid = kPid) { return Add({Kind::kStart, 0, pid}); }
    Log& Create(uint64_t ino, const std::string& name) {
        Event e{Kind::kCreate, 0, kPid, ino, kRootIno};
        e.name = name;
        return Add(e);
    }
    Log& TmpFile(uint64_t ino) { return Add({Kind::kTmpFile, 0, kPid, ino}); }
    Log& Link(uint64_t ino, const std::string& name) {
        Event e{Kind::kLink, 0, kPid, ino, kRootIno};
        e.name = name;
        return Add(e);
    }
    Log& Unlink(const std::string& name) {
        Event e{Kind::kUnlink, 0, kPid, 0, kRootIno};
        e.name = name;
        return Add(e);
    }
    Log& Rename(uint64_t ino, const std::string& from, const std::string& to) {
        Event e{Kind::kRename, 0, kPid, ino, kRootIno, kRootIno};
        e.name = from;
        e.name2 = to;
        return Add(e);
    }
    Log& Write(uint64_t ino, uint64_t offset, const std::string& bytes, bool durable = false) {
        Event e{Kind::kWrite, durable ? kDurable : uint8_t{0}, kPid, ino, 0, 0, offset};
        e.data = bytes;
        return Add(e);
    }
    Log& Truncate(uint64_t ino, uint64_t length) {
        return Add({Kind::kTruncate, 0, kPid, ino, 0, 0, length});
    }
    Log& Sync(uint64_t ino, bool failed = false) {
        return Add({Kind::kSync, failed ? kFailed : uint8_t{0}, kPid, ino});
    }
    Log& MapShared(uint64_t ino) { return Add({Kind::kMapShared, 0, kPid, ino}); }
    Log& Out(uint32_t pid = kPid) { return Add({Kind::kOut, 0, pid}); }
    Log& Exit(int status, uint32_t pid = kPid) {
        return Add({Kind::kExit, 0, pid, 0, 0, 0, static_cast<uint64_t>(status)});
    }

    std::vector<Event> events;

  private:
    Log& Add(Event e) {
        events.push_back(std::move(e));
        return *this;
    }
};

struct Seen {
    size_t point;
    std::string description;
    std::map<std::string, std::string> files;  // name -> bytes
};

// Every distinct state of the log, up to `most`; with endOnly, those at its end alone: nothing
// pending kept, and everything (one state when they are the same). A state is handed on once,
// at the first point it is met: the end's states are the ones to ask what the end keeps.
std::vector<Seen> States(const Log& log, size_t most = 500, bool endOnly = false) {
    std::vector<Seen> seen;
    StateOptions o;
    o.maxStates = most;
    o.endOnly = endOnly;
    ReplayFigures figures;
    std::string problem;
    const bool ok = ForEachCrashState(
        log.events, o,
        [&](const CrashState& crash) {
            Seen s{crash.point, crash.description, {}};
            for (const StateEntry& e : crash.state->entries) {
                if (e.type == EntryType::kFile) s.files[e.path] = crash.state->contents.at(e.inode);
            }
            seen.push_back(std::move(s));
            return true;
        },
        &figures, &problem);
    EXPECT_TRUE(ok) << problem;
    return seen;
}

std::vector<Seen> EndStates(const Log& log) {
    return States(log, 2, true);
}

// The contents one file takes in the states at or after `from` ("-" when it is absent).
std::set<std::string> ContentsOf(const std::vector<Seen>& states, const std::string& name,
                                 size_t from = 0) {
    std::set<std::string> contents;
    for (const Seen& s : states) {
        if (s.point < from) continue;
        auto it = s.files.find(name);
        contents.insert(it == s.files.end() ? "-" : it->second);
    }
    return contents;
}

TEST(CrashModel, WhatASyncCoveredIsKeptAndWhatCameAfterMayBeLost) {
    Log log;
    log.Base(2, "a", "old").Start().Write(2, 0, "new").Sync(2).Write(2, 3, "more").Exit(0);
    const std::vector<Seen> states = States(log);
    // Before the sync (event 4) the first write may be lost; after it, never.
    EXPECT_EQ(ContentsOf(states, "a"), (std::set<std::string>{"old", "new", "newmore"}));
    for (const Seen& s : states) {
        if (s.point > 4) {
            EXPECT_EQ(s.files.at("a").substr(0, 3), "new") << s.description;
        }
    }
    EXPECT_EQ(ContentsOf(EndStates(log), "a"), (std::set<std::string>{"new", "newmore"}));
}

TEST(CrashModel, APendingWriteIsLostWholeOrTornAtSectorBoundaries) {
    const std::string zeros(2048, '\0');
    Log log;
    log.Base(2, "a", zeros).Start().Write(2, 0, std::string(2048, 'x')).Exit(0);
    bool absent = false, whole = false, torn = false;
    for (const std::string& bytes : ContentsOf(States(log), "a")) {
        ASSERT_EQ(bytes.size(), 2048u);
        size_t written = 0;
        for (size_t sector = 0; sector < 4; ++sector) {
            const std::string part = bytes.substr(sector * 512, 512);
            // A sector lands whole or not at all.
            ASSERT_TRUE(part == std::string(512, 'x') || part == std::string(512, '\0'));
            written += part[0] == 'x' ? 1 : 0;
        }
        absent |= written == 0;
        whole |= written == 4;
        torn |= written != 0 && written != 4;
    }
    EXPECT_TRUE(absent);
    EXPECT_TRUE(whole);
    EXPECT_TRUE(torn);
}

TEST(CrashModel, ATornWriteLandsSomeSectorsAndMayGrowTheFile) {
    for (uint64_t seed = 0; seed < 50; ++seed) {
        std::string content = "ab";
        FileChoice choice{Take::kTorn, seed, seed % 2 == 0};
        ApplyTornWrite(&content, 100, std::string(1500, 'x'), choice);  // sectors 0 to 3
        size_t landed = 0;
        for (uint64_t s = 0; s < 4; ++s) {
            const uint64_t at = std::max<uint64_t>(100, s * 512);
            landed += content.size() > at && content[at] == 'x' ? 1 : 0;
        }
        EXPECT_GE(landed, 1u) << seed;
        EXPECT_LE(landed, 3u) << seed;
        if (choice.fullLength) {
            EXPECT_EQ(content.size(), 1600u) << seed;
        }
        EXPECT_EQ(content.substr(0, 2), "ab");
    }
}

TEST(CrashModel, NamesInAFolderNotSyncedAreLostInOrder) {
    Log log;
    log.Start().Create(3, "b").Write(3, 0, "data").Sync(3).Rename(3, "b", "c").Exit(0);
    std::set<std::set<std::string>> names;
    for (const Seen& s : States(log)) {
        std::set<std::string> n;
        for (const auto& [name, bytes] : s.files) {
            n.insert(name);
            if (s.point > 4) {
                EXPECT_EQ(bytes, "data");  // synced before any name is
            }
        }
        names.insert(n);
    }
    // A prefix of the folder's changes: neither, b, or c; never b and c.
    EXPECT_EQ(names, (std::set<std::set<std::string>>{{}, {"b"}, {"c"}}));

    log.events.insert(log.events.end() - 1, Event{Kind::kSync, 0, kPid, kRootIno});
    EXPECT_EQ(ContentsOf(EndStates(log), "c"), (std::set<std::string>{"data"}));
    EXPECT_EQ(ContentsOf(EndStates(log), "b"), (std::set<std::string>{"-"}));
}

TEST(CrashModel, AnUnnamedFileLinkedInBringsItsSyncedBytes) {
    Log log;
    log.Start().TmpFile(5).Write(5, 0, "header").Sync(5).Link(5, "d").Sync(kRootIno).Exit(0);
    // The name may be lost until the folder is synced; the bytes come with it.
    EXPECT_EQ(ContentsOf(States(log), "d"), (std::set<std::string>{"-", "header"}));
    EXPECT_EQ(ContentsOf(EndStates(log), "d"), (std::set<std::string>{"header"}));
}

TEST(CrashModel, AnInodeNumberUsedAgainNamesANewFile) {
    Log log;
    log.Base(7, "x", "old").Start().Unlink("x").Create(7, "y").Write(7, 0, "new").Sync(7).Exit(0);
    bool both = false;
    for (const Seen& s : States(log)) {
        auto x = s.files.find("x");
        auto y = s.files.find("y");
        if (x != s.files.end()) {
            EXPECT_EQ(x->second, "old");
        }
        if (y != s.files.end()) {
            EXPECT_TRUE(y->second == "new" || y->second.empty());
        }
        both |= x != s.files.end() && y != s.files.end();
    }
    EXPECT_FALSE(both);  // the removal comes before the creation in the folder's order
}

TEST(CrashModel, SyncsThatFailAndWritesThatAreSynchronous) {
    struct Row {
        const char* what;
        Log log;
        std::set<std::string> contents;  // of "a" at the end
    };
    Row rows[] = {
        {"a failed sync makes nothing durable", Log(), {"0", "1"}},
        // "1" at byte 0 is pending; "C" at byte 1 went through a synchronous descriptor.
        {"a synchronous write is kept whatever else is lost", Log(), {"0C", "1C"}},
    };
    rows[0].log.Base(2, "a", "0").Start().Write(2, 0, "1").Sync(2, true).Exit(1);
    rows[1].log.Base(2, "a", "00").Start().Write(2, 0, "1").Write(2, 1, "C", true).Exit(0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ContentsOf(EndStates(row.log), "a"), row.contents);
    }
}

TEST(CrashModel, BytesWrittenThroughASharedMapAreUnknown) {
    Log log;
    log.Base(2, "lock", std::string(64, 'L')).Start().MapShared(2).Exit(0);
    State final;
    std::string problem;
    ASSERT_TRUE(FinalState(log.events, &final, &problem)) << problem;
    ASSERT_EQ(final.unknownBytes.size(), 1u);
    const std::string* bytes = final.Content("lock");
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes->size(), 64u);
    EXPECT_NE(*bytes, std::string(64, 'L'));
}

TEST(CrashModel, AProgramAcknowledgesWithItsLastWordsWhenItSucceeds) {
    Log log;
    log.Start(10).Out(10).Create(3, "f").Out(10).Exit(0, 10);  // events 1..5
    log.Start(11).Out(11).Exit(1, 11);                         // 6..8
    log.Start(12).Exit(3, 12);                                 // 9..10
    const std::vector<ProgramRun> runs = ProgramsOf(log.events, {0, 3});
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].acknowledged, 4u);
    EXPECT_EQ(runs[1].acknowledged, std::string::npos);
    EXPECT_EQ(runs[2].acknowledged, 10u);

    StateOptions o;
    ReplayFigures figures;
    std::string problem;
    ASSERT_TRUE(ForEachCrashState(
        log.events, o,
        [&](const CrashState& crash) {
            const size_t acked = (crash.point > 4 ? 1 : 0) + (crash.point > 10 ? 1 : 0);
            EXPECT_EQ(crash.acknowledged.size(), acked) << crash.description;
            return true;
        },
        &figures, &problem))
        << problem;
}

TEST(CrashModel, StatesAreDistinctAndWithinTheBudget) {
    Log log;
    log.Base(2, "a", std::string(8192, '\0')).Start();
    for (int i = 0; i < 40; ++i) {
        log.Write(2, static_cast<uint64_t>(i) * 200, std::string(700, static_cast<char>('a' + i)));
    }
    log.Sync(2).Exit(0);
    for (size_t most : {1u, 7u, 60u}) {
        std::set<std::string> distinct;
        const std::vector<Seen> states = States(log, most);
        EXPECT_LE(states.size(), most);
        EXPECT_GE(states.size(), std::min<size_t>(most, 2));
        for (const Seen& s : states) EXPECT_TRUE(distinct.insert(s.files.at("a")).second);
    }
}

TEST(CrashModel, ALogThatContradictsItselfIsRefused) {
    struct Row {
        const char* what;
        std::vector<Event> events;
    };
    Event write{Kind::kWrite, 0, kPid, 99};
    Event nameInFile{Kind::kCreate, 0, kPid, 4, 2};
    Log withFile;
    withFile.Base(2, "a", "x");
    std::vector<Event> inFile = withFile.events;
    inFile.push_back(nameInFile);
    const Row rows[] = {
        {"no folder first", {write}},
        {"a write to an inode never made", {Event{Kind::kRoot, 0, 0, 1}, write}},
        {"a name inside a file", inFile},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        State state;
        std::string problem;
        EXPECT_FALSE(FinalState(row.events, &state, &problem));
        EXPECT_FALSE(problem.empty());
    }
    // A record cut short is not read as one; a whole one reads back as it was written.
    write.data = "xyz";
    write.name = "n";
    const std::string bytes = Encode(write);
    std::vector<Event> decoded;
    std::string problem;
    EXPECT_FALSE(Decode(bytes.substr(0, bytes.size() - 1), &decoded, &problem));
    EXPECT_FALSE(Decode(bytes.substr(0, kHeaderSize - 1), &decoded, &problem));
    decoded.clear();
    ASSERT_TRUE(Decode(bytes + bytes, &decoded, &problem)) << problem;
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[1].ino, 99u);
    EXPECT_EQ(decoded[1].name, "n");
    EXPECT_EQ(decoded[1].data, "xyz");
}

TEST(FolderState, AStateWrittenOutReadsBackAndADifferenceIsNamed) {
    Log log;
    log.Base(2, "a", "alpha").Base(2, "hard", "").Start().Create(3, "b").Write(3, 0, "beta");
    State state;
    std::string problem;
    ASSERT_TRUE(FinalState(log.events, &state, &problem)) << problem;
    char pattern[] = "/tmp/powerloss-folder-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    ASSERT_TRUE(WriteState(state, folder, &problem)) << problem;
    EXPECT_EQ(CompareWithFolder(state, folder), "");
    struct stat a {}, hard {};
    ASSERT_EQ(::stat((folder + "/a").c_str(), &a), 0);
    ASSERT_EQ(::stat((folder + "/hard").c_str(), &hard), 0);
    EXPECT_EQ(a.st_ino, hard.st_ino);  // a hard link stays one

    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(folder + "/b", &bytes));
    EXPECT_EQ(bytes, "beta");
    ASSERT_EQ(::truncate((folder + "/b").c_str(), 2), 0);
    EXPECT_NE(CompareWithFolder(state, folder).find("b differs from the log at byte 2"),
              std::string::npos);
    ::unlink((folder + "/b").c_str());
    EXPECT_NE(CompareWithFolder(state, folder).find("b is missing on disk"), std::string::npos);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace powerloss
