// The window's event logic against in-memory controls and platform.
#include "forms/Form1.h"
#include "setup/PackageTrust.h"
#include "setup/CommandLines.h"
#include "support/MemoryControls.h"
#include "support/MemoryRegistry.h"
#include "support/RecordingPlatform.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using forms::Form1;
using testing_support::MemoryForm;
using testing_support::MemoryRegistry;
using testing_support::RecordingPlatform;

namespace {

struct Window {
    MemoryForm controls;
    RecordingPlatform platform;
    MemoryRegistry registry;
    Form1 form{controls.Controls(), platform, platform, platform, registry, platform, setup::kVeltro};

    explicit Window(std::u16string arguments = {}) {
        platform.arguments = std::move(arguments);
        form.Form_Load();
    }
    bool RemovalRan() const { return !platform.Started().empty(); }
};

TEST(Form1, LoadCentresTheWindowAndSelectsDefaults) {
    Window w;
    EXPECT_TRUE(w.controls.window.normalState);
    EXPECT_FLOAT_EQ((11520.0f - 3930.0f) / 2, w.controls.window.top);
    EXPECT_FLOAT_EQ((15360.0f - 5115.0f) / 2, w.controls.window.left);
    EXPECT_EQ(2, w.controls.combo1[0].selected);
    EXPECT_EQ(1, w.controls.combo1[4].selected);
    EXPECT_TRUE(w.controls.option1[0].selected);
    EXPECT_TRUE(w.controls.frame1[2].visible && w.controls.frame1[2].enabled);
    EXPECT_EQ(0, w.controls.window.unloads);
}

TEST(Form1, OnlyTheExactArgumentDelRemovesAndOnlyOnce) {
    Window del(u"DEL");
    del.form.Form_Activate();
    ASSERT_TRUE(del.RemovalRan());
    EXPECT_EQ(std::vector<std::u16string>{setup::DeleteDriverCommandLine(setup::kVeltro)}, del.platform.Started());
    EXPECT_EQ(1, del.controls.window.unloads);
    EXPECT_EQ(0, del.form.ExitCode());
    del.form.Form_Activate();  // a second activation does nothing
    EXPECT_EQ(1u, del.platform.Started().size());

    for (std::u16string other : {u"", u"del", u" DEL", u"\" DEL\"", u"DEL x", u"DEL ", u"\"DEL\""}) {
        Window w(other);
        w.form.Form_Activate();
        w.form.Form_Activate();
        EXPECT_FALSE(w.RemovalRan()) << std::string(other.begin(), other.end());
        EXPECT_EQ(0, w.controls.window.unloads);
        // Only an unattended removal may stay hidden when started hidden.
        EXPECT_FALSE(w.form.StaysHidden(true));
    }
    EXPECT_TRUE(Window(u"DEL").form.StaysHidden(true));
    EXPECT_FALSE(Window(u"DEL").form.StaysHidden(false));
}

TEST(Form1, SwitchingToUsbAndBackKeepsTheListSelections) {
    Window w;
    w.controls.combo1[0].Pick(u"115200");
    w.controls.combo1[4].Pick(u"None");
    w.controls.ClickUsb(w.form);
    EXPECT_TRUE(w.controls.option2.selected);
    for (auto& option : w.controls.option1) EXPECT_FALSE(option.selected);
    EXPECT_FALSE(w.controls.frame1[2].visible);
    EXPECT_FALSE(w.controls.frame1[2].enabled);

    w.controls.ClickCom(w.form, 2);
    EXPECT_TRUE(w.controls.option1[2].selected);
    EXPECT_FALSE(w.controls.option2.selected);
    EXPECT_TRUE(w.controls.frame1[2].visible);
    EXPECT_TRUE(w.controls.frame1[2].enabled);
    EXPECT_EQ(u"115200,n,8,1", forms::PortSettingsString(w.controls.Controls().Combo1));

    // Clicking the selected option again changes nothing.
    w.controls.ClickCom(w.form, 2);
    EXPECT_TRUE(w.controls.option1[2].selected);
    EXPECT_TRUE(w.controls.frame1[2].visible && w.controls.frame1[2].enabled);
    EXPECT_EQ(6, w.controls.combo1[0].selected);
    w.controls.ClickUsb(w.form);
    w.controls.ClickUsb(w.form);
    EXPECT_TRUE(w.controls.option2.selected);
    EXPECT_FALSE(w.controls.frame1[2].enabled);
}

TEST(Form1, AnUnattendedRemovalLeavesItsVerdictInTheEventLog) {
    Window done(u"DEL");
    done.form.Form_Activate();
    ASSERT_EQ(1u, done.platform.eventLog.size());
    EXPECT_EQ(platform::EventType::Information, done.platform.eventLog[0].type);
    EXPECT_EQ(1030u, done.platform.eventLog[0].id);
    EXPECT_EQ(u"Verdict: done\r\nExit code: 0\r\nCommand: PortSetup.exe DEL", done.platform.eventLog[0].text);

    Window failed(u"DEL");
    failed.platform.failStartNumber = 0;
    failed.form.Form_Activate();
    EXPECT_EQ(1, failed.form.ExitCode());
    ASSERT_EQ(1u, failed.platform.eventLog.size());
    EXPECT_EQ(platform::EventType::Error, failed.platform.eventLog[0].type);
    EXPECT_EQ(1031u, failed.platform.eventLog[0].id);
    EXPECT_EQ(0u, failed.platform.eventLog[0].text.find(u"Verdict: failed\r\nExit code: 1\r\nReason: "));
    EXPECT_GT(failed.platform.eventLog[0].text.size(), 70u);
    EXPECT_TRUE(failed.controls.window.errors.empty());  // still no message box

    // A DEL that ends before its removal starts fails alike; a window's run leaves nothing.
    Window early(u"DEL");
    forms::ReportRemovalNotStarted(early.platform, early.platform, u"the window could not be created");
    ASSERT_EQ(1u, early.platform.eventLog.size());
    EXPECT_EQ(1031u, early.platform.eventLog[0].id);
    EXPECT_NE(std::u16string::npos, early.platform.eventLog[0].text.find(
                                        u"Reason: The removal did not start: the window could not be created"));
    Window shown(u"");
    forms::ReportRemovalNotStarted(shown.platform, shown.platform, u"the window could not be created");
    EXPECT_TRUE(shown.platform.eventLog.empty());

    // An event log that cannot be written changes nothing.
    Window unlogged(u"DEL");
    unlogged.platform.eventLogFails = true;
    unlogged.platform.failStartNumber = 0;
    unlogged.form.Form_Activate();
    EXPECT_EQ(1, unlogged.form.ExitCode());
    EXPECT_EQ(1, unlogged.controls.window.unloads);

    // A click by the user at the window is no unattended run.
    Window attended;
    attended.form.Form_Activate();
    attended.form.cmdDelete_Click();
    EXPECT_TRUE(attended.RemovalRan());
    EXPECT_TRUE(attended.platform.eventLog.empty());
}

TEST(Form1, LoadGoesOnPastFailingControls) {
    MemoryForm controls;
    controls.combo1[0].Fail("Clear");
    controls.combo1[0].Fail("Add");
    controls.combo1[3].Fail("Select");
    RecordingPlatform platform;
    platform.arguments = u"DEL";
    MemoryRegistry registry;
    Form1 form(controls.Controls(), platform, platform, platform, registry, platform, setup::kVeltro);
    form.Form_Load();
    EXPECT_TRUE(controls.combo1[0].entries.empty());
    EXPECT_EQ(-1, controls.combo1[3].selected);
    EXPECT_EQ(4, controls.combo1[1].selected);  // the other lists are filled
    // The argument was still recorded after the failures.
    form.Form_Activate();
    EXPECT_EQ(std::vector<std::u16string>{setup::DeleteDriverCommandLine(setup::kVeltro)}, platform.Started());
}

}  // namespace

namespace {

// The window takes its driver package as the console program does: where
// only administrators can change its folder, as it is (the command line as
// ever); where others can, from a protected copy, and says so; with a link
// in it, not at all, saying why and the fix.
TEST(Form1, TheWindowsPackageIsTrustedAsTheConsoleProgramsIs) {
    const std::u16string copy = u"C:\\ProgramData\\PortSetup\\Package";
    struct Copier : setup::PackageCopier {
        std::u16string to;
        bool fails = false;
        int copies = 0;
        std::optional<std::u16string> Copy(platform::HeldFolder&, std::u16string& copyPath) override {
            ++copies;
            if (fails) return u"the disk is full";
            copyPath = to;
            return std::nullopt;
        }
    };
    struct Packages : forms::PackageSource {
        RecordingPlatform& platform;
        Copier& copier;
        Packages(RecordingPlatform& p, Copier& c) : platform(p), copier(c) {}
        setup::PackageFolderChoice Choose(std::u16string_view folder) override {
            return setup::ChoosePackageFolder(platform, folder, platform.runningUser, &copier);
        }
    };
    struct Case {
        const char* what;
        std::function<void(RecordingPlatform&, Copier&)> arrange;
        const char16_t* installedFrom;  // nullptr: nothing started
        bool notice;
    };
    const std::vector<Case> cases = {
        {"a folder only administrators can change", [](RecordingPlatform&, Copier&) {}, u"C:\\Setup", false},
        {"a folder a cashier owns",
         [](RecordingPlatform& p, Copier&) {
             RecordingPlatform::Node node;
             node.owner = u"S-1-5-21-1-2-3-1001";
             p.nodes[u"C:\\Setup"] = node;
         },
         copy.c_str(), true},
        {"a file in it that users may change",
         [](RecordingPlatform& p, Copier&) {
             RecordingPlatform::Node node;
             node.directory = false;
             node.access = {{true, u"S-1-5-11", 0x1301BF, false}};
             p.nodes[u"C:\\Setup\\PRT3Q42WD32.inf"] = node;
         },
         copy.c_str(), true},
        {"a link inside it",
         [](RecordingPlatform& p, Copier&) {
             RecordingPlatform::Node link;
             link.redirected = true;
             link.target = u"C:\\Users\\boss\\Documents";
             p.nodes[u"C:\\Setup\\docs"] = link;
         },
         nullptr, false},
        {"a folder others can change that cannot be copied",
         [](RecordingPlatform& p, Copier& c) {
             RecordingPlatform::Node node;
             node.owner = u"S-1-5-21-1-2-3-1001";
             p.nodes[u"C:\\Setup"] = node;
             c.fails = true;
         },
         nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryForm controls;
        RecordingPlatform platform;
        MemoryRegistry registry;
        platform.files[u"C:\\Setup\\PRT3Q42WD32.inf"] = "[Version]\r\n";
        Copier copier;
        copier.to = copy;
        c.arrange(platform, copier);
        Packages packages(platform, copier);
        Form1 form(controls.Controls(), platform, platform, platform, registry, platform, setup::kVeltro, &packages);
        form.Form_Load();
        form.Command1_Click();
        if (c.installedFrom) {
            ASSERT_FALSE(platform.Started().empty());
            EXPECT_EQ(setup::InstallOnComPortCommandLine(c.installedFrom, u"COM1:", setup::InfQuoting::AsNeeded,
                                                         setup::kVeltro),
                      platform.Started().front());
            EXPECT_TRUE(controls.window.errors.empty());
        } else {
            EXPECT_TRUE(platform.Started().empty());
            ASSERT_EQ(1u, controls.window.errors.size());
            EXPECT_NE(std::u16string::npos, controls.window.errors[0].find(u"Fix: copy the vendor's package"));
            EXPECT_FALSE(registry.Get("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", "COM1:"));
        }
        EXPECT_EQ(c.notice, !controls.window.notices.empty());
        EXPECT_EQ(1, controls.window.unloads);
    }
}

}  // namespace
