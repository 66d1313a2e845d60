// The few control operations the window's logic needs. The exe implements them
// over Win32 controls, the host tests over in-memory ones. An operation that
// the control refuses throws ControlError.
#pragma once

#include "platform/Seams.h"

#include <exception>
#include <stdexcept>
#include <string>

namespace forms {

struct ControlError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class OptionButton {
public:
    virtual ~OptionButton() = default;
    virtual bool Selected() = 0;
    virtual void SetSelected(bool selected) = 0;
};

class GroupBox {
public:
    virtual ~GroupBox() = default;
    virtual bool Visible() = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual bool Enabled() = 0;
    virtual void SetEnabled(bool enabled) = 0;
};

// A selection-only drop-down list.
class DropDownList {
public:
    virtual ~DropDownList() = default;
    virtual void Clear() = 0;
    virtual void Add(const std::u16string& text) = 0;
    virtual void Select(int index) = 0;
    // The selected entry's text; empty when nothing is selected.
    virtual std::u16string CurrentText() = 0;
};

// The window itself, with positions and sizes in twips.
class FormWindow {
public:
    virtual ~FormWindow() = default;
    virtual void SetNormalState() = 0;
    virtual platform::TwipSize OuterSize() = 0;
    virtual void SetTop(float twips) = 0;
    virtual void SetLeft(float twips) = 0;
    // Closes the window; the program ends with it.
    virtual void Unload() = 0;
    // Tells the user of a failure and waits for them to acknowledge it.
    virtual void ShowError(const std::u16string& message) = 0;
    // Tells the user how a run that is done went, where it is worth saying.
    virtual void ShowNotice(const std::u16string& message) = 0;
    // While a workflow runs: the wait cursor shows and the user's input is
    // not taken, though the window still paints and answers.
    virtual void SetBusy(bool busy) = 0;
};

// Runs one statement; when it fails, skips it so that the next one runs.
template <typename Statement>
void SkipOnFailure(Statement&& statement) noexcept {
    try {
        statement();
    } catch (const std::exception&) {
    }
}

}  // namespace forms
