#include "forms/Form1.h"

#include "setup/CommandLines.h"
#include "setup/RunEvents.h"
#include "setup/SerialSettings.h"
#include "setup/Workflows.h"

namespace forms {

namespace {

// Why the package is not used, as the window tells it.
std::u16string PackageRefusal(const setup::PackageFolderChoice& choice) {
    if (!choice.copyFailure.empty())
        return u"others can change it (" + choice.why + u") and it could not be copied to a protected folder: " +
               choice.copyFailure;
    return choice.why;
}

}  // namespace

Form1::Form1(const Form1Controls& controls, platform::Machine& machine, platform::Processes& processes,
             platform::PrinterList& printers, platform::AnsiRegistry& registry, platform::EventLog& events,
             const setup::Product& product, PackageSource* packages)
    : controls_(controls), machine_(machine), processes_(processes), printers_(printers), registry_(registry),
      events_(events), product_(product), packages_(packages) {}

void Form1::Form_Load() {
    FormWindow& window = *controls_.window;
    window.SetNormalState();
    const platform::TwipSize screen = machine_.ScreenSize();
    const platform::TwipSize outer = window.OuterSize();
    window.SetTop((screen.height - outer.height) / 2.0f);
    window.SetLeft((screen.width - outer.width) / 2.0f);
    InitPortProperties();
}

void Form1::InitPortProperties() {
    FillSerialLists(controls_.Combo1);
    SkipOnFailure([&] { strCommandLine = machine_.CommandLineArguments(); });
    bActivated = false;
}

void Form1::Form_Activate() {
    if (bActivated) return;
    if (strCommandLine == u"DEL") {
        unattended_ = true;
        cmdDelete_Click();
    }
    bActivated = true;
}

void Form1::Option1_Click(int /*index*/) {
    controls_.Option2->SetSelected(false);
    controls_.Frame1[Form1Controls::kPortProperties]->SetVisible(true);
    controls_.Frame1[Form1Controls::kPortProperties]->SetEnabled(true);
}

void Form1::Option2_Click() {
    for (OptionButton* option : controls_.Option1) option->SetSelected(false);
    controls_.Frame1[Form1Controls::kPortProperties]->SetVisible(false);
    controls_.Frame1[Form1Controls::kPortProperties]->SetEnabled(false);
}

// Next: the selected connection is installed, then its settings stored.
void Form1::Command1_Click() {
    RunWorkflow([&] {
        setup::InstallRequest request;
        request.portName = SelectedPortName();
        request.usb = controls_.Option2->Selected();
        // The package as the console program takes it: a folder others can
        // change is installed from its protected copy, and the user told.
        std::u16string notice;
        if (packages_) {
            using Kind = setup::PackageFolderChoice::Kind;
            const setup::PackageFolderChoice choice = packages_->Choose(machine_.ProgramDirectory());
            if (choice.kind == Kind::Refused)
                return setup::Outcome{setup::Failure::PackageRefused, {}, PackageRefusal(choice), {}};
            if (choice.kind == Kind::Copied) {
                request.packageDirectory = choice.directory;
                notice = u"Others can change the driver package beside PortSetup.exe (" + choice.why +
                         u"), so the driver was installed from a protected copy in " + choice.directory +
                         u".\n\nKeep the package where only administrators can change it (Program Files).";
            }
        }
        setup::Outcome outcome = setup::InstallPrinter(request, machine_, processes_, printers_, product_);
        if (!outcome.failed()) {
            SavePortSettings();
            outcome.notice = notice;
        }
        return outcome;
    });
}

void Form1::cmdDelete_Click() {
    RunWorkflow([&] { return setup::RemovePrinters(printers_, processes_, registry_, product_); });
}

// Runs one workflow at a time: a click, or a close, that arrives while one
// runs (the waits keep handling messages) is ignored. The window ends after it.
template <typename Workflow>
void Form1::RunWorkflow(Workflow&& workflow) {
    if (unloaded_ || busy_) return;
    struct BusyScope {
        Form1& form;
        explicit BusyScope(Form1& f) : form(f) {
            form.busy_ = true;
            form.controls_.window->SetBusy(true);
        }
        ~BusyScope() {
            form.busy_ = false;
            form.controls_.window->SetBusy(false);
        }
    };
    setup::Outcome outcome;
    {
        const BusyScope busy(*this);
        outcome = workflow();
    }
    Finish(outcome);
}

bool Form1::StaysHidden(bool startedHidden) const { return startedHidden && strCommandLine == u"DEL"; }

std::u16string Form1::SelectedPortName() {
    static constexpr const char16_t* kPorts[] = {u"COM1:", u"COM2:", u"COM3:", u"COM4:"};
    for (int i = 0; i < 4; ++i)
        if (controls_.Option1[i]->Selected()) return kPorts[i];
    return {};
}

void Form1::SavePortSettings() {
    bool comChosen = false;
    SkipOnFailure([&] { comChosen = controls_.Frame1[Form1Controls::kPortProperties]->Enabled(); });
    if (!comChosen) return;
    std::u16string settings = PortSettingsString(controls_.Combo1);
    std::u16string valueName;
    SkipOnFailure([&] { valueName = SelectedPortName(); });
    // Without a port name the write would land in the key's default value.
    if (valueName.empty()) return;
    setup::StorePortSettings(registry_, valueName, settings);
}

void Form1::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    controls_.window->Unload();
}

void ReportRemovalNotStarted(platform::Machine& machine, platform::EventLog& events, std::u16string_view reason) {
    if (machine.CommandLineArguments() != u"DEL") return;
    setup::RunRecord record;
    record.command = setup::RunCommand::Delete;
    record.commandLine = u"PortSetup.exe DEL";
    record.exitCode = 1;
    record.reason = u"The removal did not start: " + std::u16string(reason);
    setup::ReportRun(events, record);
}

void Form1::Finish(const setup::Outcome& outcome) {
    // An unattended removal leaves its verdict in the Application event log.
    if (unattended_) {
        setup::RunRecord record;
        record.command = setup::RunCommand::Delete;
        record.commandLine = u"PortSetup.exe DEL";
        record.exitCode = outcome.failed() ? 1 : 0;
        if (outcome.failed()) record.reason = setup::FailureMessage(outcome, product_);
        setup::ReportRun(events_, record);
    }
    if (outcome.failed()) {
        if (unattended_) {
            exitCode_ = 1;  // nobody is there to answer a message box
        } else {
            controls_.window->ShowError(setup::FailureMessage(outcome, product_));
        }
    } else if (!outcome.notice.empty() && !unattended_) {
        controls_.window->ShowNotice(outcome.notice);
    }
    Unload();
}

}  // namespace forms
