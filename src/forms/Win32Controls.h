// The control interfaces over real Win32 controls.
#pragma once

#include "forms/Controls.h"

#include <windows.h>

#include <vector>

namespace forms {

// Pixels for twips at `dpi` (15 twips a pixel at 96 DPI).
inline int TwipsToPixels(float twips, unsigned dpi) {
    const float pixels = twips * static_cast<float>(dpi) / 1440.0f;
    return static_cast<int>(pixels < 0 ? pixels - 0.5f : pixels + 0.5f);
}
inline float PixelsToTwips(int pixels, unsigned dpi) {
    return static_cast<float>(pixels) * 1440.0f / static_cast<float>(dpi);
}

class Win32Option : public OptionButton {
public:
    HWND hwnd = nullptr;
    bool Selected() override;
    void SetSelected(bool selected) override;
};

// A group box and the controls drawn inside it: hiding or disabling the box
// hides or disables them too, as a container does.
class Win32Group : public GroupBox {
public:
    HWND hwnd = nullptr;
    std::vector<HWND> members;
    bool Visible() override;
    void SetVisible(bool visible) override;
    bool Enabled() override;
    void SetEnabled(bool enabled) override;
};

class Win32List : public DropDownList {
public:
    HWND hwnd = nullptr;
    void Clear() override;
    void Add(const std::u16string& text) override;
    void Select(int index) override;
    std::u16string CurrentText() override;
};

class Win32Window : public FormWindow {
public:
    HWND hwnd = nullptr;
    unsigned dpi = 96;
    bool busy = false;
    void SetNormalState() override;
    platform::TwipSize OuterSize() override;
    void SetTop(float twips) override;
    void SetLeft(float twips) override;
    void Unload() override;
    void ShowError(const std::u16string& message) override;
    void ShowNotice(const std::u16string& message) override;
    void SetBusy(bool busy) override;
};

}  // namespace forms
