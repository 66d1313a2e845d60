// What an elevated PortSetupCli run may write, rename, hold and read: the
// machine folder, its log and its locks, and a driver package, against the
// stand-in's files and folders with their owners, access entries, links and
// reparse points.
#include "cli/Cli.h"
#include "cli/RunLog.h"
#include "setup/Text.h"
#include "cli/FileSafety.h"
#include "setup/PackageTrust.h"
#include "setup/CommandLines.h"
#include "setup/PreChecks.h"
#include "setup/DefaultPrinter.h"
#include "setup/ExitCodes.h"
#include "setup/Install.h"
#include "setup/Remove.h"
#include "setup/Status.h"
#include "setup/TestPrint.h"
#include "support/CliMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

using testing_support::MemoryRegistry;
using testing_support::RecordingPlatform;
using namespace setup;

namespace {

// Test constants: a string that cannot be built ends the test run anyway.
// NOLINTBEGIN(cert-err58-cpp)
const std::u16string kRoot = u"C:\\ProgramData\\PortSetup";
const std::u16string kLogs = kRoot + u"\\Logs";
const std::u16string kLog = kLogs + u"\\PortSetupCli.log";
const std::u16string kOldLog = kLogs + u"\\PortSetupCli.old.log";
const std::u16string kCashier = u"S-1-5-21-1-2-3-1001";
// NOLINTEND(cert-err58-cpp)
constexpr std::uint32_t kModify = 0x1301BF;

struct Machine : testing_support::CliMachine {
    // A folder as the system would report it.
    void Folder(const std::u16string& path, const std::u16string& owner, std::vector<platform::AccessEntry> access) {
        RecordingPlatform::Node node;
        node.owner = owner;
        node.access = std::move(access);
        platform.nodes[path] = node;
    }
    void Link(const std::u16string& path, const std::u16string& target, bool directory) {
        RecordingPlatform::Node node;
        node.directory = directory;
        node.redirected = true;
        node.target = target;
        platform.nodes[path] = node;
    }
    std::size_t Appends() const {
        return static_cast<std::size_t>(std::count_if(platform.fileEvents.begin(), platform.fileEvents.end(),
                                                      [](const std::u16string& e) { return e.rfind(u"append", 0) == 0; }));
    }
};

platform::AccessEntry Allow(std::u16string sid, std::uint32_t mask, bool inheritOnly = false) {
    return {true, std::move(sid), mask, inheritOnly};
}

TEST(FileSafety, ARunThatIsNotElevatedOrRefusedTouchesNoMachineFile) {
    Machine m;
    m.platform.administrator = false;
    const auto files = m.platform.files;
    EXPECT_EQ(kExitNotAdministrator, m.Run({u"install", u"--port", u"COM1"}));
    EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"COM257"}));
    EXPECT_EQ(kExitNotAdministrator, m.Run({u"remove", u"--log", u"D:\\r.log"}));
    EXPECT_EQ(kExitNotInstalled, m.Run({u"status", u"--port", u"COM1"}));
    // Elevated, a refused command line changes nothing either: no folder, no log.
    m.platform.administrator = true;
    EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"COM257"}));
    EXPECT_EQ(kExitUsage, m.Run({u"remove", u"--log", u"D:\\r.log", u"--bogus"}));
    EXPECT_EQ(files, m.platform.files);
    EXPECT_TRUE(m.platform.nodes.empty());
    EXPECT_TRUE(m.platform.fileEvents.empty());
    EXPECT_TRUE(m.platform.lockDescriptors.empty());
    EXPECT_TRUE(m.platform.Started().empty());

    // status never writes there, elevated or not.
    EXPECT_EQ(kExitNotInstalled, m.Run({u"status"}));
    EXPECT_TRUE(m.platform.fileEvents.empty());

    // Nor does an elevated run of a program others could have replaced: in
    // a folder a cashier owns, or below one that lets users change it.
    for (const auto& folder : {u"C:\\Program Files\\PortSetup", u"C:\\Program Files"}) {
        Machine planted;
        planted.Folder(folder, kCashier, {Allow(kCashier, 0x1F01FF)});
        EXPECT_EQ(kExitProgramFolderUnsafe, planted.Run({u"install", u"--port", u"COM1"}));
        EXPECT_EQ(kExitProgramFolderUnsafe, planted.Run({u"remove"}));
        EXPECT_TRUE(planted.platform.Started().empty());
        EXPECT_TRUE(planted.platform.fileEvents.empty());
    }
}

TEST(FileSafety, TheMachineFoldersAndLocksAreCreatedOutOfAStandardUsersReach) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_EQ((std::vector<std::u16string>{u"create-folder " + kRoot, u"create-folder " + kLogs}),
              std::vector<std::u16string>(m.platform.fileEvents.begin(), m.platform.fileEvents.begin() + 2));
    for (const auto& folder : {kRoot, kLogs}) {
        EXPECT_EQ(cli::kMachineFolderDescriptor, m.platform.nodes[folder].descriptor);
        EXPECT_FALSE(setup::WhyFolderNotOurs(m.platform.Examine(folder), u"S-1-5-18"));
    }
    // Users may read the folders, and may not open the lock files at all.
    const auto users = std::find_if(m.platform.nodes[kRoot].access.begin(), m.platform.nodes[kRoot].access.end(),
                                    [](const platform::AccessEntry& e) { return e.sid == u"S-1-5-32-545"; });
    ASSERT_NE(users, m.platform.nodes[kRoot].access.end());
    EXPECT_EQ(0u, users->mask & setup::kChangingRights);
    for (const auto& lock : {kRoot + u"\\PortSetupCli.lock", kRoot + u"\\PortSetupCli.log.lock"}) {
        ASSERT_EQ(1u, m.platform.lockDescriptors.count(lock));
        for (const auto& entry : RecordingPlatform::AccessOf(m.platform.lockDescriptors[lock]))
            EXPECT_TRUE(setup::IsTrustedAccount(entry.sid, u"")) << setup::Utf8(entry.sid);
    }
    EXPECT_TRUE(m.platform.locksHeld.empty());  // let go when the run ends
    EXPECT_NE(std::string::npos, m.platform.files[kLog].find("verdict: done, exit code 0"));

    // A second run finds them as it left them and changes nothing of them.
    m.platform.fileEvents.clear();
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    for (const auto& e : m.platform.fileEvents) EXPECT_EQ(0u, e.rfind(u"append", 0)) << setup::Utf8(e);
}

// What a cashier (or an earlier, laxer version) left at the machine folder's
// names is never adopted: it is moved aside whole, as it is, with whatever it
// holds, and a fresh folder is made. Nothing is deleted.
TEST(FileSafety, WhatSomeoneElseLeftAtTheMachineFolderIsMovedAsideWhole) {
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
        std::u16string moved;  // the name moved aside
        std::u16string kept;   // a file that must be found, as it was, in the moved folder ("" for none)
    };
    const auto cashiersFile = [](Machine& m, const std::u16string& path) {
        RecordingPlatform::Node file;
        file.directory = false;
        file.owner = kCashier;
        m.platform.nodes[path] = file;
        m.platform.files[path] = "theirs";
    };
    const std::vector<Case> cases = {
        {"the machine folder is a link", [](Machine& m) { m.Link(kRoot, u"D:\\Elsewhere", true); }, kRoot, u""},
        {"the machine folder is a link to a folder as this run makes it, opened through as Wine does",
         [](Machine& m) {
             m.Folder(u"D:\\Elsewhere", u"S-1-5-18", {Allow(u"S-1-5-18", 0x1F01FF)});
             m.Link(kRoot, u"D:\\Elsewhere", true);
             m.platform.foldersOpenThroughLinks = true;
         },
         kRoot, u""},
        {"the Logs folder is a link",
         [](Machine& m) {
             m.Folder(kRoot, u"S-1-5-18", {Allow(u"S-1-5-18", 0x1F01FF)});
             m.Link(kLogs, u"D:\\Elsewhere", true);
         },
         kLogs, u""},
        {"a file has the machine folder's name", [=](Machine& m) { m.platform.files[kRoot] = "theirs"; }, kRoot, u""},
        {"a cashier owns the machine folder, with a lock file in it",
         [=](Machine& m) {
             m.Folder(kRoot, kCashier, {Allow(kCashier, 0x1F01FF), Allow(u"S-1-5-32-545", kModify)});
             cashiersFile(m, kRoot + u"\\PortSetupCli.lock");
         },
         kRoot, u"\\PortSetupCli.lock"},
        {"a cashier owns the Logs folder, with a log in it",
         [=](Machine& m) {
             m.Folder(kRoot, u"S-1-5-32-544", {Allow(u"S-1-5-18", 0x1F01FF)});
             m.Folder(kLogs, kCashier, {Allow(kCashier, 0x1F01FF)});
             cashiersFile(m, kLog);
         },
         kLogs, u"\\PortSetupCli.log"},
        {"SYSTEM's folder that lets users add files, as an earlier version left it: a handle opened then keeps them",
         [=](Machine& m) {
             m.Folder(kRoot, u"S-1-5-18",
                      {Allow(u"S-1-5-18", 0x1F01FF), Allow(u"S-1-5-32-545", 0x000116), Allow(u"S-1-3-0", 0x1F01FF, true)});
             m.platform.files[kLog] = "theirs";
         },
         kRoot, u"\\Logs\\PortSetupCli.log"},
        {"the log is a link to another file",
         [](Machine& m) {
             m.Folder(kRoot, u"S-1-5-18", {});
             m.Folder(kLogs, u"S-1-5-18", {});
             m.Link(kLog, u"C:\\Windows\\win.ini", false);
         },
         kLog, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        m.platform.files[u"C:\\Windows\\win.ini"] = "[fonts]\r\n";
        c.arrange(m);
        const auto before = m.platform.files;
        ASSERT_EQ(kExitDone, m.Run({u"remove"}));
        const std::u16string aside = c.moved.substr(0, c.moved.size() - (c.moved.ends_with(u".log") ? 4 : 0)) +
                                     (c.moved.ends_with(u".log") ? u".log.moved-aside" : u".moved-aside");
        EXPECT_EQ(1, std::count(m.platform.fileEvents.begin(), m.platform.fileEvents.end(),
                                u"move " + c.moved + u" -> " + aside));
        // Nothing removed, nothing through a link: every file that was there still is, as it was.
        for (const auto& [path, content] : before) {
            const std::u16string now = path.rfind(c.moved, 0) == 0 ? aside + path.substr(c.moved.size()) : path;
            EXPECT_EQ(content, m.platform.files[now]) << setup::Utf8(now);
        }
        if (!c.kept.empty()) {
            EXPECT_EQ("theirs", m.platform.files[aside + c.kept]);
        }
        for (const auto& e : m.platform.fileEvents) EXPECT_NE(0u, e.rfind(u"remove", 0)) << setup::Utf8(e);
        // Then fresh: the run's own, its log written, its lock taken.
        for (const auto& folder : {kRoot, kLogs}) {
            EXPECT_FALSE(setup::WhyFolderNotOurs(m.platform.Examine(folder), u"S-1-5-18")) << setup::Utf8(folder);
        }
        EXPECT_NE(std::string::npos, m.platform.files[kLog].find("warning: the machine folder was taken back: moved "));
        EXPECT_NE(std::string::npos, m.platform.files[kLog].find("verdict: done, exit code 0"));
        EXPECT_EQ(1u, m.platform.lockDescriptors.count(kRoot + u"\\PortSetupCli.lock"));
    }
}

TEST(FileSafety, WhatCannotBeMovedAsideIsNotUsedAndTheJobGoesOn) {
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
    };
    const std::vector<Case> cases = {
        {"a link the system opens the target of (Wine)",
         [](Machine& m) {
             m.Link(kRoot, u"D:\\Elsewhere", true);
             m.platform.linksOpenedAsTarget.insert(kRoot);
         }},
        {"a cashier's folder that another program holds open",
         [](Machine& m) {
             m.Folder(kRoot, kCashier, {Allow(kCashier, 0x1F01FF)});
             m.platform.removalFails.insert(kRoot);
         }},
        {"the name is taken again between the look and the making", [](Machine& m) {
             m.platform.foldersMadeMeanwhile = {kRoot};
         }},
        {"the log has a second name",
         [](Machine& m) {
             m.Folder(kRoot, u"S-1-5-18", {});
             m.Folder(kLogs, u"S-1-5-18", {});
             RecordingPlatform::Node file;
             file.directory = false;
             file.links = 2;
             m.platform.nodes[kLog] = file;
             m.platform.removalFails.insert(kLog);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        c.arrange(m);
        m.platform.drivers = {u"KALDO QTX_VELTRO"};
        EXPECT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_EQ(std::vector<std::u16string>{DeleteDriverCommandLine(setup::kVeltro)}, m.platform.Started());
        EXPECT_EQ(0u, m.Appends());
        for (const auto& [path, content] : m.platform.files)
            EXPECT_NE(0u, path.rfind(u"D:\\Elsewhere", 0)) << setup::Utf8(path);
        // Said once, on stderr.
        EXPECT_EQ(1, std::count_if(m.console.err.begin(), m.console.err.end(), [](const std::u16string& l) {
                      return l.find(u"log") != std::u16string::npos;
                  }));
    }
}

TEST(FileSafety, AGivenLogIsWrittenOnlyWhereNoOneElseCanRedirectIt) {
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
        const char16_t* said;  // nullptr: written
    };
    const std::u16string given = u"D:\\Logs\\Deploy\\run.log";
    const std::vector<Case> cases = {
        {"missing folders are made protected", [](Machine&) {}, nullptr},
        {"a folder on the way is a link",
         [](Machine& m) { m.Link(u"D:\\Logs", u"C:\\Windows", true); }, u"D:\\Logs is not used: it is a junction"},
        {"the folder holding it lets users add files",
         [](Machine& m) { m.Folder(u"D:\\Logs\\Deploy", u"S-1-5-32-544", {Allow(u"S-1-5-32-545", 0x0002)}); },
         u"D:\\Logs\\Deploy is not used: it lets S-1-5-32-545 change it"},
        {"a folder above it lets users delete",
         [](Machine& m) { m.Folder(u"D:\\Logs", u"S-1-5-32-544", {Allow(u"S-1-5-11", kModify)}); },
         u"D:\\Logs is not used: it lets S-1-5-11 change it"},
        {"a folder above it that users may only add to is fine",
         [](Machine& m) { m.Folder(u"D:\\Logs", u"S-1-5-32-544", {Allow(u"S-1-5-11", 0x0004 | 0x0002 | 0x0100)}); },
         nullptr},
        {"the file is a cashier's",
         [&](Machine& m) {
             RecordingPlatform::Node file;
             file.directory = false;
             file.owner = kCashier;
             m.platform.nodes[given] = file;
         },
         u"owned by S-1-5-21-1-2-3-1001"},
        {"the file is a link", [&](Machine& m) { m.Link(given, u"C:\\Windows\\win.ini", false); },
         u"symbolic link or other reparse point"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        m.platform.files[u"C:\\Windows\\win.ini"] = "[fonts]";
        c.arrange(m);
        EXPECT_EQ(kExitDone, m.Run({u"remove", u"--log", given}));
        EXPECT_EQ("[fonts]", m.platform.files[u"C:\\Windows\\win.ini"]);
        if (!c.said) {
            EXPECT_NE(std::string::npos, m.platform.files[given].find("verdict: done"));
            EXPECT_EQ(cli::kMachineFolderDescriptor, m.platform.nodes[u"D:\\Logs\\Deploy"].descriptor);
            EXPECT_TRUE(m.console.err.empty());
            continue;
        }
        // Only the copy is not written: the machine log still is.
        EXPECT_EQ(0u, std::count_if(m.platform.fileEvents.begin(), m.platform.fileEvents.end(),
                                    [&](const std::u16string& e) { return e.find(given) != std::u16string::npos; }));
        EXPECT_NE(std::string::npos, m.Log().find("verdict: done"));
        EXPECT_EQ(1u, m.console.err.size());
        EXPECT_TRUE(m.console.Has(m.console.err, c.said));
    }
}

// --log adds a copy: the machine log, where the help desk looks, is still
// written, and the event names both.
TEST(FileSafety, AGivenLogIsACopyBesideTheMachineLog) {
    Machine m;
    const std::u16string given = u"D:\\Logs\\run.log";
    m.platform.eventLog.clear();
    EXPECT_EQ(kExitDone, m.Run({u"remove", u"--log", given}));
    EXPECT_NE(std::string::npos, m.platform.files[given].find("verdict: done"));
    EXPECT_NE(std::string::npos, m.Log().find("verdict: done"));
    EXPECT_NE(std::u16string::npos, m.platform.eventLog.back().text.find(
                                        u"Log: C:\\ProgramData\\PortSetup\\Logs\\PortSetupCli.log; " + given));
}

TEST(FileSafety, FolderRules) {
    platform::PathFacts facts;
    facts.exists = facts.directory = facts.securityRead = true;
    facts.owner = u"S-1-5-21-9-9-9-500";
    // The account of this run counts as trusted; a deny or inherit-only entry grants nothing.
    facts.access = {{false, u"S-1-1-0", kModify, false}, Allow(u"S-1-3-0", 0x1F01FF, true)};
    EXPECT_FALSE(setup::WhyFolderNotOurs(facts, u"S-1-5-21-9-9-9-500"));
    EXPECT_TRUE(setup::WhyFolderNotOurs(facts, u"S-1-5-18"));
    facts.owner = u"S-1-5-18";
    facts.nullDacl = true;
    EXPECT_TRUE(setup::WhyFolderNotOurs(facts, u"S-1-5-18"));
    facts.nullDacl = false;
    facts.access = {Allow(u"S-1-5-32-545", 0x00100000 | 0x20000 | 0x1 | 0x8 | 0x80 | 0x20)};  // read and execute
    EXPECT_FALSE(setup::WhyFolderNotOurs(facts, u"S-1-5-18"));
    for (std::uint32_t mask : {0x10000u, 0x0100u}) {  // delete, or write attributes, alone is enough
        facts.access = {Allow(u"S-1-5-32-545", mask)};
        EXPECT_TRUE(setup::WhyFolderNotOurs(facts, u"S-1-5-18")) << mask;
    }
    facts.access.clear();
    facts.redirected = true;
    EXPECT_TRUE(setup::WhyFolderNotOurs(facts, u"S-1-5-18"));
}

TEST(FileSafety, TheRollOverRenamesTheCheckedFileUnderTheLogLock) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    m.platform.files[kLog] = std::string(cli::kLogLimitBytes - 10, 'x');
    m.platform.fileEvents.clear();
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_TRUE(m.console.Has(std::vector<std::u16string>(m.platform.fileEvents.begin(), m.platform.fileEvents.end()),
                              u"rename " + kLog + u" -> " + kOldLog + u" (log lock held)"));
    EXPECT_EQ(cli::kLogLimitBytes - 10, m.platform.files[kOldLog].size());
    EXPECT_EQ(0u, m.platform.files[kLog].find("2026-12-08T10:00:00+01:00 run: PortSetupCli remove"));
}

TEST(FileSafety, ALogThatCannotBeRolledOverIsAppendedToStill) {
    {  // a reader holds it open without sharing delete
        Machine m;
        ASSERT_EQ(kExitDone, m.Run({u"remove"}));
        m.platform.files[kLog] = std::string(cli::kLogLimitBytes - 10, 'x');
        m.platform.renameFails = true;
        ASSERT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_EQ(0u, m.platform.files.count(kOldLog));
        EXPECT_NE(std::string::npos, m.platform.files[kLog].find("verdict: done, exit code 0"));
        EXPECT_EQ(1u, m.console.err.size());
    }
    {  // the older copy's name is a link: it is not replaced
        Machine m;
        ASSERT_EQ(kExitDone, m.Run({u"remove"}));
        m.platform.files[kLog] = std::string(cli::kLogLimitBytes - 10, 'x');
        m.platform.files[u"C:\\Windows\\win.ini"] = "[fonts]";
        m.Link(kOldLog, u"C:\\Windows\\win.ini", false);
        ASSERT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_EQ("[fonts]", m.platform.files[u"C:\\Windows\\win.ini"]);
        EXPECT_TRUE(m.platform.nodes[kOldLog].redirected);
        EXPECT_NE(std::string::npos, m.platform.files[kLog].find("verdict: done"));
    }
}

TEST(FileSafety, LocksOnlyAdministratorsCanHold) {
    {  // another run holds the single-run lock: try again later
        Machine m;
        m.platform.locksHeldElsewhere.insert(kRoot + u"\\PortSetupCli.lock");
        EXPECT_EQ(kExitAlreadyRunning, m.Run({u"remove"}));
        EXPECT_TRUE(m.platform.Started().empty());
    }
    {  // another run's writer holds the log lock: each line waits for it, then is written
        Machine m;
        m.platform.locksHeldElsewhere.insert(kRoot + u"\\PortSetupCli.log.lock");
        EXPECT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_NE(std::string::npos, m.platform.files[kLog].find("verdict: done"));
        EXPECT_GE(m.platform.now, cli::kLogLockWaitMilliseconds);
    }
    {  // a cashier's lock file is moved aside and a fresh one taken; one held open is not used, and the job goes on
        for (const bool heldOpen : {false, true}) {
            Machine m;
            m.Folder(kRoot, u"S-1-5-18", {});
            RecordingPlatform::Node file;
            file.directory = false;
            file.owner = kCashier;
            const std::u16string lock = kRoot + u"\\PortSetupCli.lock";
            m.platform.nodes[lock] = file;
            if (heldOpen) m.platform.removalFails.insert(lock);
            EXPECT_EQ(kExitDone, m.Run({u"remove"}));
            EXPECT_EQ(!heldOpen, m.platform.lockDescriptors.count(lock) == 1);
            EXPECT_EQ(heldOpen, m.console.Has(m.console.err, u"single-run lock cannot be taken"));
        }
    }
    {  // where the system has private namespaces, the lock is a mutex there, and no file is needed
        Machine m;
        m.platform.privateNamespaces = true;
        EXPECT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_EQ(0u, m.platform.lockDescriptors.count(kRoot + u"\\PortSetupCli.lock"));
        m.platform.anotherRunActive = true;
        EXPECT_EQ(kExitAlreadyRunning, m.Run({u"remove"}));
    }
}

TEST(FileSafety, ALineCutOffByAKilledRunIsEndedBeforeTheNextOneAndNoLineIsForged) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    m.platform.files[kLog] += "2026-12-08T09:59:59+01:00 start";
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_NE(std::string::npos, m.platform.files[kLog].find("09:59:59+01:00 start\r\n2026-12-08T10:00:00+01:00 run:"));
    // Control characters from text someone else wrote stay inside their line;
    // a lone CR in an INF ends the INF's line, as a line feed would.
    EXPECT_EQ(u"1.0\\r\\n2026 verdict: done\\x1b", cli::LogLineText(u"1.0\r\n2026 verdict: done\x1b"));
    EXPECT_EQ(u"a\\x85b\\u2028c\\u2029d\\u202ee\\u2067f\u00E9\u202F",
              cli::LogLineText(u"a\u0085b\u2028c\u2029d\u202Ee\u2067f\u00E9\u202F"));
    std::string& inf = m.platform.files[u"C:\\Program Files\\PortSetup\\PRT3Q42WD32.inf"];
    inf.replace(inf.find("1.2.3.4"), 7, "1.2.3.4\x1b[2J\rFORGED verdict: done");
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM1"}));
    const std::string& log = m.platform.files[kLog];
    EXPECT_NE(std::string::npos, log.find("DriverVer 06/21/2024,1.2.3.4\\x1b[2J\r\n"));
    EXPECT_EQ(std::string::npos, log.find("FORGED"));
    EXPECT_EQ(std::string::npos, log.find('\x1b'));
}

// A package others can change is copied, each file read as it was examined,
// into a folder only SYSTEM and Administrators may read; a link or a file of
// several names anywhere refuses it; a copy that fails leaves nothing.
TEST(FileSafety, ADriverPackageIsReadAndCopiedWithoutFollowingALink) {
    const std::u16string package = u"C:\\Users\\Public\\Kaldo";
    const std::u16string copy = kRoot + u"\\Package";
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
        int exitCode;
    };
    const auto fileNode = [](Machine& m, const std::u16string& path, RecordingPlatform::Node node) {
        node.directory = false;
        m.platform.nodes[path] = node;
    };
    const std::vector<Case> cases = {
        {"a file in it lets users change it",
         [&](Machine& m) {
             RecordingPlatform::Node open;
             open.access = {Allow(u"S-1-5-11", kModify)};
             fileNode(m, package + u"\\PRT3Q42WD32.inf", open);
         },
         kExitDone},
        {"a cashier owns a subfolder", [&](Machine& m) { m.Folder(package + u"\\amd64", kCashier, {}); }, kExitDone},
        {"the package folder is a link", [&](Machine& m) { m.Link(package, u"C:\\Users\\boss\\Documents", true); },
         kExitPackageHasLinks},
        {"a folder above it is a link", [&](Machine& m) { m.Link(u"C:\\Users\\Public", u"D:\\Elsewhere", true); },
         kExitPackageHasLinks},
        {"a link inside it", [&](Machine& m) { m.Link(package + u"\\docs", u"C:\\Users\\boss\\Documents", true); },
         kExitPackageHasLinks},
        {"a file with two names",
         [&](Machine& m) {
             RecordingPlatform::Node twoNames;
             twoNames.links = 2;
             fileNode(m, package + u"\\amd64\\kaldo.dll", twoNames);
         },
         kExitPackageHasLinks},
        {"a subfolder swapped for a link after it was examined",
         [&](Machine& m) {
             m.platform.afterListing[package] = [&m, package] {
                 m.platform.afterListing[package] = [&m, package] {
                     m.platform.files.erase(package + u"\\amd64\\kaldo.dll");
                     RecordingPlatform::Node link;
                     link.redirected = true;
                     link.target = u"C:\\Users\\boss\\Documents";
                     m.platform.nodes[package + u"\\amd64"] = link;
                 };
             };
         },
         kExitPackageNotUsable},
        {"more than the size limit",
         [&](Machine& m) {
             m.platform.files[package + u"\\big.bin"] = "x";
             m.platform.fileSizes[package + u"\\big.bin"] = setup::kPackageLimitBytes + 1;
         },
         kExitPackageNotUsable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        testing_support::PutVendorPackage(m.platform, package);
        m.platform.files[package + u"\\amd64\\kaldo.dll"] = "MZ";
        m.platform.files[u"C:\\Users\\boss\\Documents\\secret.txt"] = "secret";
        m.Folder(package, kCashier, {});  // others can change it: copied
        c.arrange(m);
        EXPECT_EQ(c.exitCode, m.Run({u"install", u"--port", u"USB", u"--package", package}));
        // Another account's file is never read, nor lands anywhere.
        for (const auto& [path, content] : m.platform.files)
            if (path != u"C:\\Users\\boss\\Documents\\secret.txt") {
                EXPECT_NE("secret", content) << setup::Utf8(path);
            }
        for (const auto& read : m.platform.reads) EXPECT_EQ(std::u16string::npos, read.find(u"boss")) << setup::Utf8(read);
        if (c.exitCode != kExitDone) {
            EXPECT_TRUE(m.platform.Started().empty());
            EXPECT_FALSE(m.platform.Examine(copy).exists);  // no copy, not even a partial one
            continue;
        }
        ASSERT_EQ(2u, m.platform.Started().size());  // the driver, then the driver store: both from the copy
        for (const auto& line : m.platform.Started())
            EXPECT_NE(std::u16string::npos, line.find(copy + u"\\PRT3Q42WD32.inf"));
        EXPECT_EQ("MZ", m.platform.files[copy + u"\\amd64\\kaldo.dll"]);
        for (const auto& path : {copy, copy + u"\\amd64", copy + u"\\amd64\\kaldo.dll"})
            EXPECT_EQ(setup::kPackageCopyDescriptor, m.platform.nodes[path].descriptor) << setup::Utf8(path);
    }
    {  // an earlier copy is replaced whole
        Machine m;
        testing_support::PutVendorPackage(m.platform, package);
        m.Folder(package, kCashier, {});
        ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"USB", u"--package", package}));
        m.platform.files[copy + u"\\stale.inf"] = "left by an earlier run";
        ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"USB", u"--package", package}));
        EXPECT_EQ(0u, m.platform.files.count(copy + u"\\stale.inf"));
    }
    {  // a package no one else can change is used where it is
        Machine m;
        m.Folder(u"C:\\Program Files\\PortSetup", u"S-1-5-32-544",
                 {Allow(u"S-1-5-32-544", 0x1F01FF), Allow(u"S-1-5-32-545", 0x1200A9), Allow(u"S-1-3-0", 0x1F01FF, true)});
        ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"USB"}));
        EXPECT_FALSE(m.platform.Examine(copy).exists);
        EXPECT_NE(std::u16string::npos, m.platform.Started()[0].find(u"C:\\Program Files\\PortSetup\\PRT3Q42WD32.inf"));
    }
    {  // without a protected folder to copy to, nothing is installed
        Machine m;
        testing_support::PutVendorPackage(m.platform, package);
        m.Folder(package, kCashier, {});
        m.Link(kRoot, u"D:\\Elsewhere", true);
        m.platform.linksOpenedAsTarget.insert(kRoot);
        EXPECT_EQ(kExitPackageNotUsable, m.Run({u"install", u"--port", u"USB", u"--package", package}));
        EXPECT_TRUE(m.platform.Started().empty());
    }
}

// A package others can change is installed only on its publisher's word;
// where only administrators can change it, an unsigned catalog is a warning.
TEST(FileSafety, ACopiedPackageNeedsItsCatalogToVouchForEveryFile) {
    const std::u16string package = u"C:\\Users\\Public\\Kaldo";
    using State = platform::System::CatalogTrust::State;
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
        int copied;   // exit code for the package others can change
        int trusted;  // for the same package in Program Files
    };
    const auto namedFile = [](Machine& m, const std::u16string& folder) {
        std::string& inf = m.platform.files[folder + u"\\PRT3Q42WD32.inf"];
        inf += "[SourceDisksNames.amd64]\r\n1 = %Disk%,,,\\amd64\r\n[SourceDisksFiles.amd64]\r\nkaldo.dll = 1\r\n";
        m.platform.files[folder + u"\\amd64\\kaldo.dll"] = "MZ";
    };
    const std::vector<Case> cases = {
        {"signed by a trusted publisher, every file a member", [](Machine&) {}, kExitDone, kExitDone},
        {"a driver file the catalog does not list",
         [](Machine& m) { m.platform.catalogMembers = std::set<std::u16string>{}; }, kExitPackageUnsigned, kExitDone},
        {"a catalog outside the package",
         [](Machine& m) {
             std::vector<std::u16string> folders;
             for (auto& [path, text] : m.platform.files)
                 if (const auto at = text.find("CatalogFile=prt3q42wd32.cat"); at != std::string::npos) {
                     text.replace(at, 27, "CatalogFile=..\\..\\Windows\\System32\\kernel32.dll");
                     folders.push_back(path.substr(0, path.rfind(u'\\')));
                 }
             // The file it names is there, as a signed one would be.
             for (const auto& folder : folders)
                 m.platform.files[folder + u"\\..\\..\\Windows\\System32\\kernel32.dll"] = "MZ";
         },
         kExitPackageInvalid, kExitPackageInvalid},
        {"a signer the machine does not trust",
         [](Machine& m) { m.platform.catalogTrust = {State::SignerNotTrusted, u"Other Vendor Ltd."}; },
         kExitPackageUnsigned, kExitDone},
        {"no signature at all", [](Machine& m) { m.platform.catalogTrust = {State::Unverified, u"not signed"}; },
         kExitPackageUnsigned, kExitDone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool copied : {true, false}) {
            Machine m;
            const std::u16string folder = copied ? package : u"C:\\Program Files\\PortSetup";
            testing_support::PutVendorPackage(m.platform, folder);
            namedFile(m, folder);
            if (copied) m.Folder(package, kCashier, {});
            c.arrange(m);
            EXPECT_EQ(copied ? c.copied : c.trusted, m.Run({u"install", u"--port", u"COM2", u"--package", folder}));
            EXPECT_EQ(copied ? c.copied == kExitDone : c.trusted == kExitDone, !m.platform.Started().empty());
            if (!copied) continue;
            // The copy's INF and driver file were the members asked about; a refused copy does not stay.
            if (c.copied != kExitPackageInvalid) {
                EXPECT_EQ((std::vector<std::u16string>{kRoot + u"\\Package\\PRT3Q42WD32.inf",
                                                       kRoot + u"\\Package\\amd64\\kaldo.dll"}),
                          m.platform.catalogAsked);
            }
            EXPECT_EQ(c.copied == kExitDone, m.platform.Examine(kRoot + u"\\Package").exists);
        }
    }
}

}  // namespace

namespace {

// doctor says what install would do: the two run one plan of the checks, so
// on the same machine they end with the same code, refusals alone or
// together, for a package in Program Files and one others can change.
TEST(FileSafety, InstallAndDoctorEndAlikeOnTheSameMachine) {
    const std::u16string changeable = u"C:\\Users\\Public\\Kaldo";
    using State = platform::System::CatalogTrust::State;
    struct Case {
        const char* what;
        bool othersCanChange;
        std::function<void(Machine&)> arrange;
        int exitCode;
    };
    const auto unsigned_ = [](Machine& m) { m.platform.catalogTrust = {State::Unverified, u"not signed"}; };
    const auto spoolerDisabled = [](Machine& m) { m.platform.spooler.disabled = true; };
    const auto noCatalog = [](Machine& m) {
        for (auto& [path, text] : m.platform.files)
            if (const auto at = text.find("CatalogFile=prt3q42wd32.cat"); at != std::string::npos)
                text.replace(at, 27, "; no catalog");
    };
    const std::vector<Case> cases = {
        {"nothing wrong", false, [](Machine&) {}, kExitDone},
        {"an unsigned catalog in Program Files: a warning", false, unsigned_, kExitDone},
        {"an unsigned catalog others can change", true, unsigned_, kExitPackageUnsigned},
        {"a signer not trusted, others can change it", true,
         [](Machine& m) { m.platform.catalogTrust = {State::SignerNotTrusted, u"Other Vendor Ltd."}; },
         kExitPackageUnsigned},
        {"a file the catalog does not list, others can change it", true,
         [](Machine& m) { m.platform.catalogMembers = std::set<std::u16string>{}; }, kExitPackageUnsigned},
        {"a signed package others can change", true, [](Machine&) {}, kExitDone},
        {"the Spooler disabled", false, spoolerDisabled, kExitSpoolerDisabled},
        {"the Spooler disabled and an unsigned package others can change", true,
         [&](Machine& m) {
             spoolerDisabled(m);
             unsigned_(m);
         },
         kExitSpoolerDisabled},
        {"a link in the package and the Spooler disabled", true,
         [&](Machine& m) {
             m.Link(changeable + u"\\docs", u"C:\\Users\\boss\\Documents", true);
             spoolerDisabled(m);
         },
         kExitPackageHasLinks},
        {"protected print mode and no catalog", false,
         [&](Machine& m) {
             m.registry.Put("SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP",
                            "WindowsProtectedPrintGroupPolicyState", platform::kRegDword, {1, 0, 0, 0});
             noCatalog(m);
         },
         kExitForbiddenByPolicy},
        {"no catalog, others can change it", true, noCatalog, kExitPackageInvalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::u16string folder = c.othersCanChange ? changeable : u"C:\\Program Files\\PortSetup";
        const auto arranged = [&] {
            auto m = std::make_unique<Machine>();
            testing_support::PutVendorPackage(m->platform, folder);
            if (c.othersCanChange) m->Folder(changeable, kCashier, {});
            c.arrange(*m);
            return m;
        };
        const auto doctor = arranged();
        EXPECT_EQ(c.exitCode, doctor->Run({u"doctor", u"--port", u"COM2", u"--package", folder}));
        EXPECT_TRUE(doctor->platform.Started().empty());
        const auto install = arranged();
        EXPECT_EQ(c.exitCode, install->Run({u"install", u"--port", u"COM2", u"--package", folder}));
    }
}

}  // namespace
