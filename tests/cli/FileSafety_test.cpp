// What an elevated PortSetupCli run may write, rename and hold: the machine
// folder, its log and its locks, against the stand-in's files and folders
// with their owners, access entries, links and reparse points.
#include "cli/Cli.h"
#include "cli/RunLog.h"
#include "setup/Text.h"
#include "cli/FileSafety.h"
#include "setup/CommandLines.h"
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
    EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"COM9"}));
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

TEST(FileSafety, FoldersAndFilesAStandardUserCouldHaveMadeOrRedirectedAreNotUsed) {
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
        const char16_t* said;
    };
    const std::vector<Case> cases = {
        {"the machine folder is a link", [](Machine& m) { m.Link(kRoot, u"D:\\Elsewhere", true); },
         u"junction, symbolic link or mount point"},
        {"the Logs folder is a link",
         [](Machine& m) {
             m.Folder(kRoot, u"S-1-5-18", {Allow(u"S-1-5-18", 0x1F01FF)});
             m.Link(kLogs, u"D:\\Elsewhere", true);
         },
         u"junction, symbolic link or mount point"},
        {"a cashier owns the machine folder",
         [](Machine& m) { m.Folder(kRoot, kCashier, {Allow(kCashier, 0x1F01FF), Allow(u"S-1-5-32-545", kModify)}); },
         u"owned by S-1-5-21-1-2-3-1001"},
        {"a cashier owns the Logs folder",
         [](Machine& m) {
             m.Folder(kRoot, u"S-1-5-32-544", {Allow(u"S-1-5-18", 0x1F01FF)});
             m.Folder(kLogs, kCashier, {Allow(kCashier, 0x1F01FF)});
         },
         u"owned by S-1-5-21-1-2-3-1001"},
        {"the log is a link to another file",
         [](Machine& m) {
             m.Folder(kRoot, u"S-1-5-18", {});
             m.Folder(kLogs, u"S-1-5-18", {});
             m.Link(kLog, u"C:\\Windows\\win.ini", false);
         },
         u"symbolic link or other reparse point"},
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
        {"a folder that grants too much cannot be protected",
         [](Machine& m) {
             m.Folder(kRoot, u"S-1-5-18", {Allow(u"S-1-5-11", kModify)});
             m.platform.securityChangeFails = true;
         },
         u"could not be protected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        m.platform.files[u"C:\\Windows\\win.ini"] = "[fonts]\r\n";
        c.arrange(m);
        m.platform.drivers = {u"KALDO QTX_VELTRO"};
        const auto before = m.platform.files;
        // The job goes on, with its own exit code.
        EXPECT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_EQ(std::vector<std::u16string>{DeleteDriverCommandLine()}, m.platform.Started());
        EXPECT_EQ(0u, m.Appends());
        EXPECT_EQ(before.at(u"C:\\Windows\\win.ini"), m.platform.files.at(u"C:\\Windows\\win.ini"));
        for (const auto& [path, content] : m.platform.files)
            EXPECT_NE(0u, path.rfind(u"D:\\Elsewhere", 0)) << setup::Utf8(path);
        // Said once, on stderr, with the reason.
        ASSERT_EQ(1, std::count_if(m.console.err.begin(), m.console.err.end(), [](const std::u16string& l) {
                      return l.find(u"log") != std::u16string::npos;
                  }));
        EXPECT_TRUE(m.console.Has(m.console.err, c.said));

        m.platform.files.erase(u"C:\\Program Files\\PortSetup\\PRT3Q42WD32.inf");
        EXPECT_EQ(kExitFailed, m.Run({u"install", u"--port", u"COM1"}));
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
    {  // --log FILE is used as given, but a link there is never renamed
        Machine m;
        m.platform.files[u"D:\\victim.txt"] = std::string(cli::kLogLimitBytes - 10, 'v');
        m.Link(u"D:\\given.log", u"D:\\victim.txt", false);
        ASSERT_EQ(kExitDone, m.Run({u"remove", u"--log", u"D:\\given.log"}));
        EXPECT_EQ(0u, m.platform.files.count(u"D:\\given.old.log"));
        EXPECT_TRUE(m.console.Has(m.console.err, u"could not be rolled over"));
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
    {  // without a usable machine folder there is no lock to take: the job goes on
        Machine m;
        m.Link(kRoot, u"D:\\Elsewhere", true);
        EXPECT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_TRUE(m.console.Has(m.console.err, u"single-run lock cannot be taken"));
        EXPECT_TRUE(m.platform.lockDescriptors.empty());
    }
}

TEST(FileSafety, ALineCutOffByAKilledRunIsEndedBeforeTheNextOne) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    m.platform.files[kLog] += "2026-12-08T09:59:59+01:00 start";
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_NE(std::string::npos, m.platform.files[kLog].find("09:59:59+01:00 start\r\n2026-12-08T10:00:00+01:00 run:"));
}

TEST(FileSafety, APackageFolderUsersCanChangeIsWarnedAbout) {
    Machine m;
    const std::u16string package = u"C:\\Program Files\\PortSetup";
    m.Folder(package, u"S-1-5-32-544", {Allow(u"S-1-5-32-544", 0x1F01FF), Allow(u"S-1-5-32-545", 0x1200A9)});
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"USB"}));
    EXPECT_FALSE(m.console.Has(m.console.out, u"warning"));

    RecordingPlatform::Node inf;
    inf.directory = false;
    inf.access = {Allow(u"S-1-5-11", kModify)};  // Authenticated Users: Modify
    m.platform.nodes[package + u"\\PRT3Q42WD32.inf"] = inf;
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"USB"}));
    EXPECT_TRUE(m.console.Has(m.console.out, u"warning: " + package + u"\\PRT3Q42WD32.inf can be changed by "
                                                                       u"non-administrators"));
    EXPECT_FALSE(m.console.Has(m.console.out, u"warning: " + package + u" can"));
    EXPECT_NE(std::string::npos, m.platform.files[kLog].find("warning: "));
}

}  // namespace
