// What an elevated PortSetupCli run may write, rename and hold: the machine
// folder, its log and its locks, against the stand-in's files and folders
// with their owners, access entries, links and reparse points.
#include "cli/Cli.h"
#include "cli/RunLog.h"
#include "setup/Text.h"
#include "cli/FileSafety.h"
#include "setup/CommandLines.h"
#include "setup/PreChecks.h"
#include "setup/Unattended.h"
#include "support/CliMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

TEST(FileSafety, ARunThatIsNotElevatedTouchesNoMachineFile) {
    Machine m;
    m.platform.administrator = false;
    const auto files = m.platform.files;
    EXPECT_EQ(kExitNotAdministrator, m.Run({u"install", u"--port", u"COM1"}));
    EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"COM257"}));
    EXPECT_EQ(kExitNotAdministrator, m.Run({u"remove", u"--log", u"D:\\r.log"}));
    EXPECT_EQ(kExitFailed, m.Run({u"status", u"--port", u"COM1"}));
    EXPECT_EQ(files, m.platform.files);
    EXPECT_TRUE(m.platform.nodes.empty());
    EXPECT_TRUE(m.platform.fileEvents.empty());
    EXPECT_TRUE(m.platform.lockDescriptors.empty());
    EXPECT_TRUE(m.platform.Started().empty());

    // status never writes there, elevated or not.
    m.platform.administrator = true;
    EXPECT_EQ(kExitFailed, m.Run({u"status"}));
    EXPECT_TRUE(m.platform.fileEvents.empty());
}

TEST(FileSafety, TheMachineFoldersAndLocksAreCreatedOutOfAStandardUsersReach) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_EQ((std::vector<std::u16string>{u"create-folder " + kRoot, u"create-folder " + kLogs}),
              std::vector<std::u16string>(m.platform.fileEvents.begin(), m.platform.fileEvents.begin() + 2));
    for (const auto& folder : {kRoot, kLogs}) {
        EXPECT_EQ(cli::kMachineFolderDescriptor, m.platform.nodes[folder].descriptor);
        bool fixable = true;
        EXPECT_FALSE(cli::WhyFolderUnsafe(m.platform.Examine(folder), u"S-1-5-18", fixable));
    }
    // Users may read the folders, and may not open the lock files at all.
    const auto users = std::find_if(m.platform.nodes[kRoot].access.begin(), m.platform.nodes[kRoot].access.end(),
                                    [](const platform::AccessEntry& e) { return e.sid == u"S-1-5-32-545"; });
    ASSERT_NE(users, m.platform.nodes[kRoot].access.end());
    EXPECT_EQ(0u, users->mask & cli::kChangingRights);
    for (const auto& lock : {kRoot + u"\\PortSetupCli.lock", kRoot + u"\\PortSetupCli.log.lock"}) {
        ASSERT_EQ(1u, m.platform.lockDescriptors.count(lock));
        for (const auto& entry : RecordingPlatform::AccessOf(m.platform.lockDescriptors[lock]))
            EXPECT_TRUE(cli::IsTrustedAccount(entry.sid, u"")) << setup::Utf8(entry.sid);
    }
    EXPECT_TRUE(m.platform.locksHeld.empty());  // let go when the run ends
    EXPECT_NE(std::string::npos, m.platform.files[kLog].find("verdict: done, exit code 0"));

    // A second run finds them as it left them and changes nothing of them.
    m.platform.fileEvents.clear();
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    for (const auto& e : m.platform.fileEvents) EXPECT_EQ(0u, e.rfind(u"append", 0)) << setup::Utf8(e);
}

TEST(FileSafety, WhatAStandardUserMadeAtTheMachineFolderIsTakenBack) {
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
        const char16_t* said;  // in the run's warning
        const char16_t* done;  // among the file events
    };
    const auto cashiersFile = [](Machine& m, const std::u16string& path) {
        RecordingPlatform::Node file;
        file.directory = false;
        file.owner = kCashier;
        m.platform.nodes[path] = file;
        m.platform.files[path];
    };
    const std::vector<Case> cases = {
        {"the machine folder is a link", [](Machine& m) { m.Link(kRoot, u"D:\\Elsewhere", true); },
         u"removed the link C:\\ProgramData\\PortSetup (not its target)", u"remove C:\\ProgramData\\PortSetup"},
        {"the Logs folder is a link",
         [](Machine& m) {
             m.Folder(kRoot, u"S-1-5-18", {Allow(u"S-1-5-18", 0x1F01FF)});
             m.Link(kLogs, u"D:\\Elsewhere", true);
         },
         u"removed the link C:\\ProgramData\\PortSetup\\Logs", u"remove C:\\ProgramData\\PortSetup\\Logs"},
        {"a file has the machine folder's name",
         [=](Machine& m) { m.platform.files[kRoot] = "x"; },
         u"moved the file C:\\ProgramData\\PortSetup aside to C:\\ProgramData\\PortSetup.moved-aside",
         u"move C:\\ProgramData\\PortSetup -> C:\\ProgramData\\PortSetup.moved-aside"},
        {"a cashier owns the machine folder and a lock file in it",
         [=](Machine& m) {
             m.Folder(kRoot, kCashier, {Allow(kCashier, 0x1F01FF), Allow(u"S-1-5-32-545", kModify)});
             cashiersFile(m, kRoot + u"\\PortSetupCli.lock");
         },
         u"removed C:\\ProgramData\\PortSetup\\PortSetupCli.lock, which S-1-5-21-1-2-3-1001 owned",
         u"take-over C:\\ProgramData\\PortSetup"},
        {"a cashier owns the Logs folder, with a log in it",
         [=](Machine& m) {
             m.Folder(kRoot, u"S-1-5-32-544", {Allow(u"S-1-5-18", 0x1F01FF)});
             m.Folder(kLogs, kCashier, {Allow(kCashier, 0x1F01FF)});
             cashiersFile(m, kLog);
         },
         u"removed C:\\ProgramData\\PortSetup\\Logs, which S-1-5-21-1-2-3-1001 owned",
         u"remove C:\\ProgramData\\PortSetup\\Logs\\PortSetupCli.log"},
        {"a cashier's folder in Logs holds a link to a folder: the link goes as a link",
         [](Machine& m) {
             m.Folder(kRoot, u"S-1-5-18", {});
             m.Folder(kLogs, u"S-1-5-18", {});
             m.Folder(kLogs + u"\\old", kCashier, {Allow(kCashier, 0x1F01FF)});
             m.Link(kLogs + u"\\old\\docs", u"D:\\Elsewhere", true);
         },
         u"removed C:\\ProgramData\\PortSetup\\Logs\\old, which S-1-5-21-1-2-3-1001 owned",
         u"remove C:\\ProgramData\\PortSetup\\Logs\\old\\docs"},
        {"the log is a link to another file",
         [](Machine& m) {
             m.Folder(kRoot, u"S-1-5-18", {});
             m.Folder(kLogs, u"S-1-5-18", {});
             m.Link(kLog, u"C:\\Windows\\win.ini", false);
         },
         u"removed the link C:\\ProgramData\\PortSetup\\Logs\\PortSetupCli.log", u"remove " },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        m.platform.files[u"C:\\Windows\\win.ini"] = "[fonts]\r\n";
        c.arrange(m);
        ASSERT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_EQ("[fonts]\r\n", m.platform.files.at(u"C:\\Windows\\win.ini"));
        for (const auto& [path, content] : m.platform.files)
            EXPECT_NE(0u, path.rfind(u"D:\\Elsewhere", 0)) << setup::Utf8(path);
        EXPECT_TRUE(m.console.Has(m.console.err, c.said));
        EXPECT_TRUE(m.console.Has(m.platform.fileEvents, c.done));
        // Then used as the machine's: protected, no one else's inside, the log written.
        for (const auto& folder : {kRoot, kLogs}) {
            bool fixable = false;
            EXPECT_FALSE(cli::WhyFolderUnsafe(m.platform.Examine(folder), u"S-1-5-18", fixable)) << setup::Utf8(folder);
        }
        EXPECT_NE(std::string::npos, m.platform.files[kLog].find("warning: the machine folder was taken back: "));
        EXPECT_NE(std::string::npos, m.platform.files[kLog].find("verdict: done, exit code 0"));
        EXPECT_EQ(1u, m.platform.lockDescriptors.count(kRoot + u"\\PortSetupCli.lock"));
    }
}

TEST(FileSafety, WhatCannotBeTakenBackIsNotUsedAndTheJobGoesOn) {
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
        const char16_t* said;
    };
    const std::vector<Case> cases = {
        {"a link that can be neither removed nor moved",
         [](Machine& m) {
             m.Link(kRoot, u"D:\\Elsewhere", true);
             m.platform.removalFails.insert(kRoot);
         },
         u"it is a link that could not be removed"},
        {"a cashier's folder that cannot be taken over",
         [](Machine& m) {
             m.Folder(kRoot, kCashier, {Allow(kCashier, 0x1F01FF)});
             m.platform.securityChangeFails = true;
         },
         u"owned by S-1-5-21-1-2-3-1001 and could not be taken over"},
        {"a folder that grants too much cannot be protected",
         [](Machine& m) {
             m.Folder(kRoot, u"S-1-5-18", {Allow(u"S-1-5-11", kModify)});
             m.platform.securityChangeFails = true;
         },
         u"could not be protected"},
        {"the log has a second name",
         [](Machine& m) {
             m.Folder(kRoot, u"S-1-5-18", {});
             m.Folder(kLogs, u"S-1-5-18", {});
             RecordingPlatform::Node file;
             file.directory = false;
             file.links = 2;
             m.platform.nodes[kLog] = file;
         },
         u"more than one name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        c.arrange(m);
        m.platform.drivers = {u"KALDO QTX_VELTRO"};
        EXPECT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_EQ(std::vector<std::u16string>{DeleteDriverCommandLine()}, m.platform.Started());
        EXPECT_EQ(0u, m.Appends());
        for (const auto& [path, content] : m.platform.files)
            EXPECT_NE(0u, path.rfind(u"D:\\Elsewhere", 0)) << setup::Utf8(path);
        // Said once, on stderr, with the reason.
        ASSERT_EQ(1, std::count_if(m.console.err.begin(), m.console.err.end(), [](const std::u16string& l) {
                      return l.find(u"log") != std::u16string::npos;
                  }));
        EXPECT_TRUE(m.console.Has(m.console.err, c.said));
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
        EXPECT_EQ(0u, m.Appends());
        EXPECT_EQ(1u, m.console.err.size());
        EXPECT_TRUE(m.console.Has(m.console.err, c.said));
        EXPECT_TRUE(m.console.Has(m.console.err, u"is not written"));
    }
}

TEST(FileSafety, AFolderAnotherRunMakesAtTheSameMomentIsCheckedAndUsed) {
    Machine m;
    m.platform.foldersMadeMeanwhile = {kRoot, kLogs};
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_TRUE(m.console.err.empty());
    EXPECT_NE(std::string::npos, m.platform.files[kLog].find("verdict: done"));
}

TEST(FileSafety, ATrustedFolderThatGrantsUsersTooMuchIsProtectedFirst) {
    Machine m;
    // As an earlier version left it: SYSTEM's, inheriting ProgramData's
    // "Users may create files", and CREATOR OWNER for what they create.
    m.Folder(kRoot, u"S-1-5-18",
             {Allow(u"S-1-5-18", 0x1F01FF), Allow(u"S-1-5-32-545", 0x000116), Allow(u"S-1-3-0", 0x1F01FF, true)});
    m.Folder(kLogs, u"S-1-5-32-544", {Allow(u"S-1-5-32-544", 0x1F01FF)});
    m.platform.files[kLog] = "earlier line\r\n";
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_EQ(u"protect " + kRoot, m.platform.fileEvents.front());
    EXPECT_EQ(cli::kMachineFolderDescriptor, m.platform.nodes[kRoot].descriptor);
    EXPECT_TRUE(m.platform.nodes[kLogs].descriptor.empty());  // it granted no one too much
    EXPECT_EQ(0u, m.platform.files[kLog].find("earlier line\r\n2026-12-08T10:00:00+01:00 run: PortSetupCli remove"));
    EXPECT_TRUE(m.console.err.empty());
}

TEST(FileSafety, FolderRules) {
    bool fixable = false;
    platform::PathFacts facts;
    facts.exists = facts.directory = facts.securityRead = true;
    facts.owner = u"S-1-5-21-9-9-9-500";
    // The account of this run counts as trusted; a deny or inherit-only entry grants nothing.
    facts.access = {{false, u"S-1-1-0", kModify, false}, Allow(u"S-1-3-0", 0x1F01FF, true)};
    EXPECT_FALSE(cli::WhyFolderUnsafe(facts, u"S-1-5-21-9-9-9-500", fixable));
    EXPECT_TRUE(cli::WhyFolderUnsafe(facts, u"S-1-5-18", fixable));
    EXPECT_FALSE(fixable);
    facts.owner = u"S-1-5-18";
    facts.nullDacl = true;
    EXPECT_TRUE(cli::WhyFolderUnsafe(facts, u"S-1-5-18", fixable));
    EXPECT_TRUE(fixable);
    facts.nullDacl = false;
    facts.access = {Allow(u"S-1-5-32-545", 0x00100000 | 0x20000 | 0x1 | 0x8 | 0x80 | 0x20)};  // read and execute
    EXPECT_FALSE(cli::WhyFolderUnsafe(facts, u"S-1-5-18", fixable));
    for (std::uint32_t mask : {0x10000u, 0x0100u}) {  // delete, or write attributes, alone is enough
        facts.access = {Allow(u"S-1-5-32-545", mask)};
        EXPECT_TRUE(cli::WhyFolderUnsafe(facts, u"S-1-5-18", fixable)) << mask;
    }
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
        EXPECT_TRUE(m.console.Has(m.console.err, u"could not be rolled over"));
    }
    {  // the older copy's name is a link that cannot be removed: it is not replaced
        Machine m;
        ASSERT_EQ(kExitDone, m.Run({u"remove"}));
        m.platform.files[kLog] = std::string(cli::kLogLimitBytes - 10, 'x');
        m.platform.files[u"C:\\Windows\\win.ini"] = "[fonts]";
        m.Link(kOldLog, u"C:\\Windows\\win.ini", false);
        m.platform.removalFails.insert(kOldLog);
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
    {  // a cashier's lock file, held open so that it cannot be removed, is not used: the job goes on
        Machine m;
        m.Folder(kRoot, u"S-1-5-18", {});
        RecordingPlatform::Node file;
        file.directory = false;
        file.owner = kCashier;
        m.platform.nodes[kRoot + u"\\PortSetupCli.lock"] = file;
        m.platform.removalFails.insert(kRoot + u"\\PortSetupCli.lock");
        EXPECT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_TRUE(m.console.Has(m.console.err, u"single-run lock cannot be taken (C:\\ProgramData\\PortSetup\\"
                                                 u"PortSetupCli.lock is not used: it is owned by S-1-5-21-1-2-3-1001"));
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

TEST(FileSafety, ALineCutOffByAKilledRunIsEndedBeforeTheNextOne) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    m.platform.files[kLog] += "2026-12-08T09:59:59+01:00 start";
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_NE(std::string::npos, m.platform.files[kLog].find("09:59:59+01:00 start\r\n2026-12-08T10:00:00+01:00 run:"));
}

TEST(FileSafety, ADriverPackageOthersCanChangeIsInstalledFromAProtectedCopy) {
    const std::u16string package = u"C:\\Users\\cashier\\Downloads\\Kaldo";
    const std::u16string copy = kRoot + u"\\Package";
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
    };
    const std::vector<Case> cases = {
        {"a file in it lets users change it",
         [&](Machine& m) {
             RecordingPlatform::Node inf;
             inf.directory = false;
             inf.access = {Allow(u"S-1-5-11", kModify)};
             m.platform.nodes[package + u"\\PRT3Q42WD32.inf"] = inf;
         }},
        {"a cashier owns a subfolder", [&](Machine& m) { m.Folder(package + u"\\amd64", kCashier, {}); }},
        {"a cashier owns a folder above it", [](Machine& m) { m.Folder(u"C:\\Users\\cashier", kCashier, {}); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        testing_support::PutVendorPackage(m.platform, package);
        m.platform.files[package + u"\\amd64\\kaldo.dll"] = "MZ";
        m.platform.files[copy + u"\\stale.inf"] = "left by an earlier run";
        c.arrange(m);
        ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"USB", u"--package", package}));
        EXPECT_TRUE(m.console.OutHas(u"installing from a copy in " + copy));
        ASSERT_EQ(2u, m.platform.Started().size());  // the driver, then the driver store: both from the copy
        for (const auto& line : m.platform.Started())
            EXPECT_NE(std::u16string::npos, line.find(copy + u"\\PRT3Q42WD32.inf"));
        EXPECT_EQ("MZ", m.platform.files[copy + u"\\amd64\\kaldo.dll"]);
        EXPECT_EQ(0u, m.platform.files.count(copy + u"\\stale.inf"));
        EXPECT_EQ(cli::kMachineFolderDescriptor, m.platform.nodes[copy + u"\\amd64"].descriptor);
    }
    {  // a package no one else can change is used where it is
        Machine m;
        m.Folder(u"C:\\Program Files\\PortSetup", u"S-1-5-32-544",
                 {Allow(u"S-1-5-32-544", 0x1F01FF), Allow(u"S-1-5-32-545", 0x1200A9), Allow(u"S-1-3-0", 0x1F01FF, true)});
        ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"USB"}));
        EXPECT_FALSE(m.console.OutHas(u"copy"));
        EXPECT_NE(std::u16string::npos, m.platform.Started()[0].find(u"C:\\Program Files\\PortSetup\\PRT3Q42WD32.inf"));
    }
    {  // without a protected folder to copy to, nothing is installed
        Machine m;
        testing_support::PutVendorPackage(m.platform, package);
        m.Folder(package, kCashier, {});
        m.Link(kRoot, u"D:\\Elsewhere", true);
        m.platform.removalFails.insert(kRoot);
        EXPECT_EQ(kExitPackageNotUsable, m.Run({u"install", u"--port", u"USB", u"--package", package}));
        EXPECT_TRUE(m.platform.Started().empty());
        EXPECT_TRUE(m.console.Has(m.console.err, u"give that folder with --package"));
    }
}

}  // namespace
