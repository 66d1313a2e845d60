// In-memory controls for host tests. Each can be told to fail an operation,
// the way a real control refuses one, so tests can show what still runs.
#pragma once

#include "forms/Controls.h"
#include "forms/Form1.h"

#include <array>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

// Operation names a control can be told to fail.
class FailingOps {
public:
    void Fail(const std::string& op) { failing_.insert(op); }
    void Check(const std::string& op) const {
        if (failing_.count(op)) throw forms::ControlError(op + " failed");
    }

private:
    std::set<std::string> failing_;
};

class MemoryOption : public forms::OptionButton, public FailingOps {
public:
    bool selected = false;
    bool Selected() override { Check("Selected"); return selected; }
    void SetSelected(bool s) override { Check("SetSelected"); selected = s; }
};

class MemoryGroup : public forms::GroupBox, public FailingOps {
public:
    bool visible = true;
    bool enabled = true;
    bool Visible() override { Check("Visible"); return visible; }
    void SetVisible(bool v) override { Check("SetVisible"); visible = v; }
    bool Enabled() override { Check("Enabled"); return enabled; }
    void SetEnabled(bool e) override { Check("SetEnabled"); enabled = e; }
};

class MemoryList : public forms::DropDownList, public FailingOps {
public:
    std::vector<std::u16string> entries;
    int selected = -1;
    void Clear() override;
    void Add(const std::u16string& text) override;
    void Select(int index) override;
    std::u16string CurrentText() override;
    // A user's pick of the entry whose display text is `display`.
    void Pick(std::u16string_view display);
};

class MemoryWindow : public forms::FormWindow, public FailingOps {
public:
    bool normalState = false;
    platform::TwipSize outer{5115, 3930};  // client area plus frame and caption
    float top = -1, left = -1;
    int unloads = 0;
    bool busy = false;
    std::vector<bool> busyChanges;  // every SetBusy, in order
    std::vector<std::u16string> errors;
    void SetNormalState() override { Check("SetNormalState"); normalState = true; }
    platform::TwipSize OuterSize() override { return outer; }
    void SetTop(float t) override { top = t; }
    void SetLeft(float l) override { left = l; }
    void Unload() override { ++unloads; }
    void ShowError(const std::u16string& message) override { errors.push_back(message); }
    std::vector<std::u16string> notices;
    void ShowNotice(const std::u16string& message) override { notices.push_back(message); }
    void SetBusy(bool b) override {
        busy = b;
        busyChanges.push_back(b);
    }
};

// A whole set of the window's controls, in the state a new window has.
struct MemoryForm {
    MemoryWindow window;
    std::array<MemoryOption, 4> option1;
    MemoryOption option2;
    std::array<MemoryGroup, 3> frame1;
    std::array<MemoryList, 5> combo1;

    MemoryForm() { option1[0].selected = true; }
    forms::Form1Controls Controls();
    // Clicks as the window system does: the option becomes selected (its COM
    // siblings cleared by the automatic group), then its handler runs.
    void ClickCom(forms::Form1& form, int index);
    void ClickUsb(forms::Form1& form);
};

}  // namespace testing_support
