// Installation and removal end to end against the recording platform, the
// in-memory registry and in-memory controls.
#include "forms/Form1.h"
#include "setup/CommandLines.h"
#include "setup/Workflows.h"
#include "support/MemoryControls.h"
#include "support/MemoryRegistry.h"
#include "support/RecordingPlatform.h"

#include <gtest/gtest.h>

using forms::Form1;
using testing_support::MemoryForm;
using testing_support::MemoryRegistry;
using testing_support::RecordingPlatform;
using Kind = RecordingPlatform::Event::Kind;
using namespace setup;

namespace {

constexpr const char* kPorts = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr const char* kPrinters = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

// A text with its terminating NUL, as REG_SZ data holds it.
std::string WithNul(const char* text) { return std::string(text) + '\0'; }

struct Scenario {
    MemoryForm controls;
    RecordingPlatform platform;
    MemoryRegistry registry;
    Form1 form{controls.Controls(), platform, platform, platform, registry, platform, setup::kVeltro};

    explicit Scenario(std::u16string arguments = {}) {
        platform.arguments = std::move(arguments);
        registry.PutString(kPorts, "COM1:", "9600,n,8,1");
        form.Form_Load();
    }
    void AddPrinter(const std::string& name, const std::string& driver) {
        registry.PutString(kPrinters + name, "Printer Driver", driver);
        const std::u16string wide(name.begin(), name.end());
        platform.printers.push_back(wide);
        platform.printerDrivers[wide] = std::u16string(driver.begin(), driver.end());
    }
    // The driver is installed, as the print system lists it.
    void InstallDriver() { platform.drivers.push_back(std::u16string(DriverModel)); }
    std::optional<std::string> Port(const std::string& name) const {
        auto value = registry.Get(kPorts, name);
        if (!value) return std::nullopt;
        EXPECT_EQ(platform::kRegSz, value->type);
        return std::string(value->data.begin(), value->data.end());
    }
};

TEST(Install, ComPortWithDefaults) {
    Scenario run;
    run.platform.printers = {u"Fax", u"Microsoft Print to PDF", std::u16string(PrinterName), u"Other"};
    run.controls.ClickCom(run.form, 1);
    run.form.Command1_Click();

    const auto& events = run.platform.events;
    ASSERT_EQ(4u, events.size());
    EXPECT_EQ(Kind::Start, events[0].kind);
    EXPECT_EQ(u"rundll32.exe", events[0].program);
    EXPECT_EQ(InstallOnComPortCommandLine(u"C:\\Setup", u"COM2:", setup::InfQuoting::AsNeeded, setup::kVeltro), events[0].commandLine);
    EXPECT_EQ(Kind::Sleep, events[1].kind);
    EXPECT_EQ(3000u, events[1].milliseconds);
    EXPECT_EQ(Kind::ListPrinters, events[2].kind);
    EXPECT_EQ(SetDefaultPrinterCommandLine(PrinterName), events[3].commandLine);  // once

    EXPECT_EQ(WithNul("9600,n,8,1,p"), run.Port("COM2:"));
    EXPECT_EQ(WithNul("9600,n,8,1"), run.Port("COM1:"));  // other ports untouched
    EXPECT_EQ(1, run.controls.window.unloads);
    EXPECT_EQ(0, run.form.ExitCode());
    EXPECT_TRUE(run.controls.window.errors.empty());
}

TEST(Install, Com4WithoutFlowControlIntoAMissingPortsKey) {
    MemoryForm controls;
    RecordingPlatform platform;
    MemoryRegistry registry;  // no Ports key at all
    Form1 form(controls.Controls(), platform, platform, platform, registry, platform, setup::kVeltro);
    // A slow print system: the printer is not there yet after the wait.
    platform.runTime = [](std::u16string_view) -> std::optional<std::uint32_t> { return 5000; };
    form.Form_Load();
    controls.ClickCom(form, 3);
    controls.combo1[4].Pick(u"None");
    form.Command1_Click();
    auto value = registry.Get(kPorts, "COM4:");
    ASSERT_TRUE(value);
    EXPECT_EQ(WithNul("9600,n,8,1"), std::string(value->data.begin(), value->data.end()));
    // The printer was not listed yet: nothing is made the default.
    EXPECT_EQ(1u, platform.Started().size());
    EXPECT_EQ(0u, registry.OpenHandleCount());
}

TEST(Install, UsbInstallsTheDriverOnlyAndWritesNothing) {
    for (bool alreadyListed : {false, true}) {
        Scenario run;
        if (alreadyListed) run.platform.printers = {std::u16string(PrinterName)};
        run.controls.combo1[0].Pick(u"19200");
        run.controls.ClickUsb(run.form);
        run.form.Command1_Click();
        std::vector<std::u16string> expected = {InstallDriverOnlyCommandLine(u"C:\\Setup", setup::InfQuoting::AsNeeded, setup::kVeltro)};
        if (alreadyListed) expected.push_back(SetDefaultPrinterCommandLine(PrinterName));
        EXPECT_EQ(expected, run.platform.Started());
        EXPECT_EQ(3000u, run.platform.events[1].milliseconds);
        EXPECT_FALSE(run.Port("COM1:") != WithNul("9600,n,8,1"));
        EXPECT_FALSE(run.Port("COM2:") || run.Port("COM3:") || run.Port("COM4:"));
        EXPECT_EQ(1, run.controls.window.unloads);
    }
}

TEST(Install, SettingsAreWrittenOnlyWhenThePropertiesCanBeRead) {
    Scenario unreadable;
    unreadable.controls.frame1[2].Fail("Enabled");
    unreadable.form.Command1_Click();
    EXPECT_EQ(WithNul("9600,n,8,1"), unreadable.Port("COM1:"));  // not rewritten
    EXPECT_EQ(1, unreadable.controls.window.unloads);

    Scenario partly;
    partly.controls.ClickCom(partly.form, 2);
    partly.controls.combo1[1].Fail("CurrentText");  // data bits drop out with their comma
    partly.form.Command1_Click();
    EXPECT_EQ(WithNul("9600,n,1,p"), partly.Port("COM3:"));
}

TEST(Install, ProgramFolderWithBlanksIsQuoted) {
    Scenario run;
    run.platform.programDirectory = u"C:\\Program Files\\Kaldo Setup";
    run.form.Command1_Click();
    EXPECT_EQ(u"rundll32 printui.dll,PrintUIEntry /if /b \"KALDO Veltro MiniPrinter\" /f "
              u"\"C:\\Program Files\\Kaldo Setup\\PRT3Q42WD32.inf\" /r \"COM1:\" /m \"KALDO QTX_VELTRO\"",
              run.platform.Started().at(0));
}

TEST(Install, AnInstallThatCannotStartStopsAndTellsTheUser) {
    Scenario run;
    run.platform.failStartNumber = 0;
    run.controls.ClickCom(run.form, 1);
    run.form.Command1_Click();
    EXPECT_TRUE(run.platform.events.empty());  // no wait, no listing
    EXPECT_FALSE(run.Port("COM2:"));
    ASSERT_EQ(1u, run.controls.window.errors.size());
    EXPECT_NE(std::u16string::npos, run.controls.window.errors[0].find(u"/if /b"));
    EXPECT_NE(std::u16string::npos, run.controls.window.errors[0].find(u"cannot find the file"));
    EXPECT_EQ(1, run.controls.window.unloads);
    EXPECT_EQ(0, run.form.ExitCode());
    run.form.Command1_Click();  // the window is gone: no second run
    EXPECT_EQ(1u, run.controls.window.errors.size());
}

TEST(Remove, MatchingPrintersInListOrderThenTheDriver) {
    Scenario run(u"DEL");
    run.AddPrinter("A", "KALDO QTX_VELTRO");
    run.AddPrinter("KALDO Veltro MiniPrinter", "Other Model");  // right name, other driver
    run.AddPrinter("Case", "kaldo qtx_veltro");
    run.AddPrinter("Long", "KALDO QTX_VELTRO " + std::string(1100, 'x'));  // does not fit: not read
    run.platform.printers.push_back(u"No Key");
    run.AddPrinter("B \"quoted\"", "KALDO QTX_VELTRO");
    run.form.Form_Activate();
    EXPECT_EQ((std::vector<std::u16string>{
                  SetDefaultPrinterCommandLine(u"A"), DeletePrinterCommandLine(u"A"),
                  SetDefaultPrinterCommandLine(u"B \"quoted\""), DeletePrinterCommandLine(u"B \"quoted\""),
                  DeleteDriverCommandLine(setup::kVeltro)}),
              run.platform.Started());
    EXPECT_EQ(1, run.controls.window.unloads);
    EXPECT_EQ(0u, run.registry.OpenHandleCount());
    for (const auto& e : run.platform.events) EXPECT_NE(Kind::Sleep, e.kind);
}

// Deletes that take time, as on a real machine: the driver delete starts only
// after every command before it has ended, so the print system accepts it.
TEST(Remove, WaitsForThePrinterDeletesBeforeDeletingTheDriver) {
    Scenario run(u"DEL");
    run.InstallDriver();
    run.AddPrinter("A", "KALDO QTX_VELTRO");
    run.AddPrinter("Office", "Generic");
    run.AddPrinter("B", "KALDO QTX_VELTRO");
    run.AddPrinter("C", "KALDO QTX_VELTRO");
    run.platform.runTime = [](std::u16string_view line) -> std::optional<std::uint32_t> {
        return line.find(u"/dl") != std::u16string_view::npos ? 400 : 50;
    };
    run.form.Form_Activate();

    std::vector<Kind> kinds;
    for (const auto& e : run.platform.events) kinds.push_back(e.kind);
    EXPECT_EQ((std::vector<Kind>{Kind::ListPrinters, Kind::Start, Kind::Start, Kind::Start, Kind::Start, Kind::Start,
                                 Kind::Start, Kind::Wait, Kind::Start, Kind::Wait, Kind::ListPrinterDrivers}),
              kinds);
    const auto waits = run.platform.EventsOf(Kind::Wait);
    EXPECT_EQ(6u, waits[0].processes);
    EXPECT_EQ(kRemovalWaitMilliseconds, waits[0].milliseconds);
    EXPECT_EQ(1u, waits[1].processes);
    EXPECT_EQ(kRemovalWaitMilliseconds, waits[1].milliseconds);
    EXPECT_EQ(60000u, kRemovalWaitMilliseconds);

    const auto& ended = run.platform.ended;
    ASSERT_EQ(7u, ended.size());
    EXPECT_EQ(DeleteDriverCommandLine(setup::kVeltro), ended.back().commandLine);
    EXPECT_EQ("done", ended.back().outcome);
    for (std::size_t i = 0; i + 1 < ended.size(); ++i) {
        EXPECT_LE(ended[i].endedAt, ended.back().startedAt);
        EXPECT_EQ("done", ended[i].outcome);
    }
    EXPECT_TRUE(run.platform.drivers.empty());
    EXPECT_EQ(std::vector<std::u16string>{u"Office"}, run.platform.printers);
    EXPECT_EQ(0, run.form.ExitCode());
    EXPECT_EQ(1, run.controls.window.unloads);

    // Nothing to remove and no driver installed: a success too.
    Scenario empty(u"DEL");
    empty.AddPrinter("Office", "Generic");
    empty.form.Form_Activate();
    EXPECT_EQ(std::vector<std::u16string>{DeleteDriverCommandLine(setup::kVeltro)}, empty.platform.Started());
    EXPECT_EQ(0, empty.form.ExitCode());
}

TEST(Remove, AWaitThatRunsOutEndsTheRemovalAsAFailure) {
    for (bool unattended : {true, false}) {
        Scenario run(unattended ? u"DEL" : u"");
        run.InstallDriver();
        run.AddPrinter("A", "KALDO QTX_VELTRO");
        run.AddPrinter("B", "KALDO QTX_VELTRO");
        run.platform.runTime = [](std::u16string_view line) -> std::optional<std::uint32_t> {
            if (line == DeletePrinterCommandLine(u"B")) return std::nullopt;  // never ends
            return 10;
        };
        if (unattended) run.form.Form_Activate();
        else run.form.cmdDelete_Click();

        // The driver delete still starts, after the whole limit, and is refused.
        EXPECT_EQ(DeleteDriverCommandLine(setup::kVeltro), run.platform.Started().back());
        EXPECT_EQ(kRemovalWaitMilliseconds, run.platform.EventsOf(Kind::Start).back().at);
        EXPECT_EQ("refused", run.platform.ended.back().outcome);
        EXPECT_EQ(1, run.controls.window.unloads);
        if (unattended) {
            EXPECT_EQ(1, run.form.ExitCode());
            EXPECT_TRUE(run.controls.window.errors.empty());
        } else {
            EXPECT_EQ(0, run.form.ExitCode());
            ASSERT_EQ(1u, run.controls.window.errors.size());
            EXPECT_EQ(u"The printer driver \"KALDO QTX_VELTRO\" could not be removed: the printer setup tool did not "
                      u"finish within 60 seconds.",
                      run.controls.window.errors[0]);
        }
    }

    // The driver delete itself never ends.
    Scenario hung(u"DEL");
    hung.InstallDriver();
    hung.platform.runTime = [](std::u16string_view) -> std::optional<std::uint32_t> { return std::nullopt; };
    hung.form.Form_Activate();
    EXPECT_EQ(kRemovalWaitMilliseconds, hung.platform.now);
    EXPECT_EQ(1, hung.form.ExitCode());
}

// A printer the removal does not find (its "Printer Driver" value is not a
// plain string) still uses the driver: the driver stays, and the run says so.
TEST(Remove, ADriverThatIsStillInstalledIsAFailure) {
    for (bool unattended : {true, false}) {
        Scenario run(unattended ? u"DEL" : u"");
        run.InstallDriver();
        run.AddPrinter("A", "KALDO QTX_VELTRO");
        run.registry.Put(std::string(kPrinters) + "Expand", "Printer Driver", platform::kRegExpandSz,
                         {'K', 'A', 'L', 'D', 'O', ' ', 'Q', 'T', 'X', '_', 'V', 'E', 'L', 'T', 'R', 'O', 0});
        run.platform.printers.push_back(u"Expand");
        run.platform.printerDrivers[u"Expand"] = std::u16string(DriverModel);
        if (unattended) run.form.Form_Activate();
        else run.form.cmdDelete_Click();

        EXPECT_EQ(3u, run.platform.Started().size());  // A twice, then the driver
        EXPECT_EQ("refused", run.platform.ended.back().outcome);
        EXPECT_EQ(std::vector<std::u16string>{u"Expand"}, run.platform.printers);
        EXPECT_EQ(unattended ? 1 : 0, run.form.ExitCode());
        if (!unattended) {
            ASSERT_EQ(1u, run.controls.window.errors.size());
            EXPECT_NE(std::u16string::npos, run.controls.window.errors[0].find(u"still installed"));
        }
    }

    // The drivers cannot be listed afterwards: not confirmed, not a success.
    Scenario unchecked(u"DEL");
    unchecked.platform.driverListingFails = u"The RPC server is unavailable.";
    unchecked.form.Form_Activate();
    EXPECT_EQ(1, unchecked.form.ExitCode());
}

TEST(Remove, APrinterListingThatFailsStartsNothing) {
    Scenario unattended(u"DEL");
    unattended.AddPrinter("A", "KALDO QTX_VELTRO");
    unattended.platform.printerListingFails = u"The RPC server is unavailable.";
    unattended.form.Form_Activate();
    EXPECT_TRUE(unattended.platform.Started().empty());
    EXPECT_EQ(1, unattended.form.ExitCode());
    EXPECT_EQ(1, unattended.controls.window.unloads);

    Scenario interactive;
    interactive.platform.printerListingFails = u"The RPC server is unavailable.";
    interactive.form.cmdDelete_Click();
    EXPECT_TRUE(interactive.platform.Started().empty());
    ASSERT_EQ(1u, interactive.controls.window.errors.size());
    EXPECT_EQ(u"The installed printers could not be listed, so nothing was removed:\n\nThe RPC server is unavailable.",
              interactive.controls.window.errors[0]);
}

// While the removal waits, the window handles messages: clicks and a close
// that arrive then change nothing.
TEST(Remove, InputWhileWaitingIsIgnored) {
    Scenario run;
    run.InstallDriver();
    run.AddPrinter("A", "KALDO QTX_VELTRO");
    run.platform.runTime = [](std::u16string_view) -> std::optional<std::uint32_t> { return 400; };
    int waits = 0;
    run.platform.duringWait = [&] {
        ++waits;
        EXPECT_TRUE(run.form.Busy());
        EXPECT_TRUE(run.controls.window.busy);
        run.form.cmdDelete_Click();
        run.form.Command1_Click();
        run.form.Form_Activate();
    };
    run.form.cmdDelete_Click();
    EXPECT_EQ(2, waits);
    EXPECT_EQ(3u, run.platform.Started().size());
    EXPECT_EQ((std::vector<bool>{true, false}), run.controls.window.busyChanges);
    EXPECT_FALSE(run.form.Busy());
    EXPECT_EQ(1, run.controls.window.unloads);
    EXPECT_TRUE(run.controls.window.errors.empty());
}

// Printer keys are named in the ANSI code page: a name it cannot hold exactly
// must not reach the key of a look-alike name.
TEST(Remove, NamesTheCodePageCannotHoldAreNotMatched) {
    Scenario run(u"DEL");
    run.InstallDriver();
    run.AddPrinter("POS A", "KALDO QTX_VELTRO");
    run.AddPrinter("??? ?", "KALDO QTX_VELTRO");  // what a default-character conversion makes of the next one
    const std::u16string fullWidth = u"\uFF30\uFF2F\uFF33 \uFF21";
    const std::u16string polish = u"Kassa \u0141\u00F3d\u017A";
    for (const std::u16string& name : {fullWidth, polish}) {
        run.platform.printers.push_back(name);
        run.platform.printerDrivers[name] = u"Other Model";
    }
    run.form.Form_Activate();
    EXPECT_EQ((std::vector<std::u16string>{SetDefaultPrinterCommandLine(u"POS A"), DeletePrinterCommandLine(u"POS A"),
                                           SetDefaultPrinterCommandLine(u"??? ?"), DeletePrinterCommandLine(u"??? ?"),
                                           DeleteDriverCommandLine(setup::kVeltro)}),
              run.platform.Started());
    EXPECT_EQ((std::vector<std::u16string>{fullWidth, polish}), run.platform.printers);
    EXPECT_EQ(0, run.form.ExitCode());
    EXPECT_EQ(0u, run.registry.OpenHandleCount());
}

TEST(Remove, EveryMatchingPrinterHoweverMany) {
    Scenario run;
    for (int i = 0; i < 160; ++i) {
        run.AddPrinter("POS " + std::to_string(i), i % 8 == 7 ? "Generic" : "KALDO QTX_VELTRO");
    }
    run.form.cmdDelete_Click();
    const auto started = run.platform.Started();
    ASSERT_EQ(140u * 2 + 1, started.size());
    EXPECT_EQ(DeletePrinterCommandLine(u"POS 0"), started[1]);
    EXPECT_EQ(DeletePrinterCommandLine(u"POS 158"), started[started.size() - 2]);
    EXPECT_EQ(DeleteDriverCommandLine(setup::kVeltro), started.back());
}

TEST(Remove, AStartThatFailsStopsTheRest) {
    Scenario unattended(u"DEL");
    unattended.AddPrinter("A", "KALDO QTX_VELTRO");
    unattended.AddPrinter("B", "KALDO QTX_VELTRO");
    unattended.platform.failStartNumber = 2;  // make-default B
    unattended.form.Form_Activate();
    EXPECT_EQ(2u, unattended.platform.Started().size());
    EXPECT_TRUE(unattended.controls.window.errors.empty());  // nobody to answer a message box
    EXPECT_EQ(1, unattended.controls.window.unloads);
    EXPECT_EQ(1, unattended.form.ExitCode());

    Scenario interactive;
    interactive.platform.failStartNumber = 0;
    interactive.form.cmdDelete_Click();
    ASSERT_EQ(1u, interactive.controls.window.errors.size());
    EXPECT_EQ(u"The printer setup tool could not be started:\n\n" + DeleteDriverCommandLine(setup::kVeltro) +
                  u"\n\nThe system cannot find the file specified.",
              interactive.controls.window.errors[0]);
    EXPECT_EQ(1, interactive.controls.window.unloads);
    EXPECT_EQ(0, interactive.form.ExitCode());
}

}  // namespace
