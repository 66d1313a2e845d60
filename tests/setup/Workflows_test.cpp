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

const std::string kPorts = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const std::string kPrinters = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
const std::u16string kPrinterName(PrinterName);

struct Scenario {
    MemoryForm controls;
    RecordingPlatform platform;
    MemoryRegistry registry;
    Form1 form{controls.Controls(), platform, registry};

    explicit Scenario(std::u16string arguments = {}) {
        platform.arguments = std::move(arguments);
        registry.PutString(kPorts, "COM1:", "9600,n,8,1");
        form.Form_Load();
    }
    void AddPrinter(const std::string& name, const std::string& driver) {
        registry.PutString(kPrinters + name, "Printer Driver", driver);
        platform.printers.emplace_back(name.begin(), name.end());
    }
    std::optional<std::string> Port(const std::string& name) const {
        auto value = registry.Get(kPorts, name);
        if (!value) return std::nullopt;
        EXPECT_EQ(platform::kRegSz, value->type);
        return std::string(value->data.begin(), value->data.end());
    }
};

TEST(Install, ComPortWithDefaults) {
    Scenario run;
    run.platform.printers = {u"Fax", u"Microsoft Print to PDF", kPrinterName, u"Other"};
    run.controls.ClickCom(run.form, 1);
    run.form.Command1_Click();

    const auto& events = run.platform.events;
    ASSERT_EQ(4u, events.size());
    EXPECT_EQ(Kind::Start, events[0].kind);
    EXPECT_EQ(u"rundll32.exe", events[0].program);
    EXPECT_EQ(InstallOnComPortCommandLine(u"C:\\Setup", u"COM2:"), events[0].commandLine);
    EXPECT_EQ(Kind::Sleep, events[1].kind);
    EXPECT_EQ(3000u, events[1].milliseconds);
    EXPECT_EQ(Kind::ListPrinters, events[2].kind);
    EXPECT_EQ(SetDefaultPrinterCommandLine(PrinterName), events[3].commandLine);  // once

    EXPECT_EQ(std::string("9600,n,8,1,p", 13), run.Port("COM2:"));
    EXPECT_EQ(std::string("9600,n,8,1", 11), run.Port("COM1:"));  // other ports untouched
    EXPECT_EQ(1, run.controls.window.unloads);
    EXPECT_EQ(0, run.form.ExitCode());
    EXPECT_TRUE(run.controls.window.errors.empty());
}

TEST(Install, Com4WithoutFlowControlIntoAMissingPortsKey) {
    MemoryForm controls;
    RecordingPlatform platform;
    MemoryRegistry registry;  // no Ports key at all
    Form1 form(controls.Controls(), platform, registry);
    form.Form_Load();
    controls.ClickCom(form, 3);
    controls.combo1[4].Pick(u"None");
    form.Command1_Click();
    auto value = registry.Get(kPorts, "COM4:");
    ASSERT_TRUE(value);
    EXPECT_EQ(std::string("9600,n,8,1", 11), std::string(value->data.begin(), value->data.end()));
    // The printer was not listed yet: nothing is made the default.
    EXPECT_EQ(1u, platform.Started().size());
    EXPECT_EQ(0u, registry.OpenHandleCount());
}

TEST(Install, UsbInstallsTheDriverOnlyAndWritesNothing) {
    for (bool alreadyListed : {false, true}) {
        Scenario run;
        if (alreadyListed) run.platform.printers = {kPrinterName};
        run.controls.combo1[0].Pick(u"19200");
        run.controls.ClickUsb(run.form);
        run.form.Command1_Click();
        std::vector<std::u16string> expected = {InstallDriverOnlyCommandLine(u"C:\\Setup")};
        if (alreadyListed) expected.push_back(SetDefaultPrinterCommandLine(PrinterName));
        EXPECT_EQ(expected, run.platform.Started());
        EXPECT_EQ(3000u, run.platform.events[1].milliseconds);
        EXPECT_FALSE(run.Port("COM1:") != std::string("9600,n,8,1", 11));
        EXPECT_FALSE(run.Port("COM2:") || run.Port("COM3:") || run.Port("COM4:"));
        EXPECT_EQ(1, run.controls.window.unloads);
    }
}

TEST(Install, SettingsAreWrittenOnlyWhenThePropertiesCanBeRead) {
    Scenario unreadable;
    unreadable.controls.frame1[2].Fail("Enabled");
    unreadable.form.Command1_Click();
    EXPECT_EQ(std::string("9600,n,8,1", 11), unreadable.Port("COM1:"));  // not rewritten
    EXPECT_EQ(1, unreadable.controls.window.unloads);

    Scenario partly;
    partly.controls.ClickCom(partly.form, 2);
    partly.controls.combo1[1].Fail("CurrentText");  // data bits drop out with their comma
    partly.form.Command1_Click();
    EXPECT_EQ(std::string("9600,n,1,p", 11), partly.Port("COM3:"));
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
                  DeleteDriverCommandLine()}),
              run.platform.Started());
    EXPECT_EQ(1, run.controls.window.unloads);
    EXPECT_EQ(0u, run.registry.OpenHandleCount());
    for (const auto& e : run.platform.events) EXPECT_NE(Kind::Sleep, e.kind);
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
    EXPECT_EQ(DeleteDriverCommandLine(), started.back());
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
    EXPECT_EQ(1u, interactive.controls.window.errors.size());
    EXPECT_EQ(1, interactive.controls.window.unloads);
    EXPECT_EQ(0, interactive.form.ExitCode());
}

}  // namespace
