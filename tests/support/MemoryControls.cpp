#include "support/MemoryControls.h"

#include "forms/SerialLists.h"

#include <stdexcept>

namespace testing_support {

void MemoryList::Clear() {
    Check("Clear");
    entries.clear();
    selected = -1;
}

void MemoryList::Add(const std::u16string& text) {
    Check("Add");
    entries.push_back(text);
}

void MemoryList::Select(int index) {
    Check("Select");
    if (index < -1 || index >= static_cast<int>(entries.size())) throw forms::ControlError("index out of range");
    selected = index;
}

std::u16string MemoryList::CurrentText() {
    Check("CurrentText");
    return selected < 0 ? std::u16string() : entries[static_cast<std::size_t>(selected)];
}

void MemoryList::Pick(std::u16string_view display) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].substr(0, entries[i].find(u' ')) == display) {
            selected = static_cast<int>(i);
            return;
        }
    }
    throw std::invalid_argument("no such entry");
}

forms::Form1Controls MemoryForm::Controls() {
    forms::Form1Controls c{};
    c.window = &window;
    for (int i = 0; i < 4; ++i) c.Option1[i] = &option1[i];
    c.Option2 = &option2;
    for (int i = 0; i < 3; ++i) c.Frame1[i] = &frame1[i];
    for (int i = 0; i < 5; ++i) c.Combo1[i] = &combo1[i];
    return c;
}

void MemoryForm::ClickCom(forms::Form1& form, int index) {
    for (int i = 0; i < 4; ++i) option1[i].selected = (i == index);
    form.Option1_Click(index);
}

void MemoryForm::ClickUsb(forms::Form1& form) {
    option2.selected = true;
    form.Option2_Click();
}

}  // namespace testing_support
