// The "Port Management" window's logic: what happens on load, on the first
// activation, and on each click. It works on the control interfaces, so the
// same code drives the real window and the host tests' in-memory controls.
#pragma once

#include "forms/Controls.h"
#include "forms/SerialLists.h"
#include "platform/AnsiRegistry.h"
#include "platform/Seams.h"
#include "setup/PackageTrust.h"
#include "setup/Product.h"

#include <array>
#include <string>

namespace setup {
struct Outcome;
}

namespace forms {

struct Form1Controls {
    FormWindow* window;
    std::array<OptionButton*, 4> Option1;  // COM1 to COM4
    OptionButton* Option2;                 // USB
    std::array<GroupBox*, 3> Frame1;       // "Serial Port", "USB Port", "COM Port Properties"
    static constexpr std::size_t kPortProperties = 2;  // Frame1's "COM Port Properties"
    SerialListControls Combo1;
};

// Where the window's installation takes its driver package from: the
// program's folder as it is where only administrators can change it, a
// protected copy where others can, or none (a link in it, or no copy).
class PackageSource {
public:
    virtual ~PackageSource() = default;
    virtual setup::PackageFolderChoice Choose(std::u16string_view programDirectory) = 0;
};

class Form1 {
public:
    // Without `packages`, the program's folder is used as it is.
    Form1(const Form1Controls& controls, platform::Machine& machine, platform::Processes& processes,
          platform::PrinterList& printers, platform::AnsiRegistry& registry, platform::EventLog& events,
          const setup::Product& product, PackageSource* packages = nullptr);

    // Events.
    void Form_Load();
    void Form_Activate();
    void Option1_Click(int index);
    void Option2_Click();
    void Command1_Click();
    void cmdDelete_Click();

    // "COM1:" to "COM4:" for the first selected COM option; empty when none is.
    std::u16string SelectedPortName();
    // Stores the lists' settings as the chosen COM port's settings; nothing for USB.
    void SavePortSettings();
    void Unload();

    // 0, or 1 when an unattended removal failed.
    int ExitCode() const { return exitCode_; }
    // Whether a workflow is running; the window takes no input meanwhile.
    bool Busy() const { return busy_; }
    // Whether the window stays hidden: only for an unattended removal whose
    // starter asked for a hidden window.
    bool StaysHidden(bool startedHidden) const;
    // Whether the unattended removal was started (it reports its own end).
    bool RemovalStarted() const { return unattended_; }

private:
    void InitPortProperties();
    template <typename Workflow>
    void RunWorkflow(Workflow&& workflow);
    void Finish(const setup::Outcome& outcome);

    Form1Controls controls_;
    platform::Machine& machine_;
    platform::Processes& processes_;
    platform::PrinterList& printers_;
    platform::AnsiRegistry& registry_;
    platform::EventLog& events_;
    const setup::Product& product_;
    PackageSource* packages_;

    std::u16string strCommandLine;
    bool bActivated = false;
    bool unattended_ = false;  // the removal runs from the "DEL" argument
    bool unloaded_ = false;
    bool busy_ = false;
    int exitCode_ = 0;
};

// An unattended removal (the argument DEL) that ended before its removal
// started, for `reason` (the window could not be created, ...): its failure
// event, like every other failed DEL's. Nothing for a run with a window.
void ReportRemovalNotStarted(platform::Machine& machine, platform::EventLog& events, std::u16string_view reason);

}  // namespace forms
