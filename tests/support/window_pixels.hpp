#pragma once
// What a window shows, read back by pixels: painted now, then copied from the screen.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class Window_Pixels {
public:
    explicit Window_Pixels(HWND the_window);  // the client area, painted first
    int Width() const { return width_; }
    int Height() const { return height_; }
    COLORREF At(int x, int y) const;
    // How many pixels of the rectangle differ from the colour at its top left corner.
    int Ink_In(const RECT& the_area) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;  // 0x00RRGGBB, top row first
};

// The clipboard's text, empty when it holds none.
std::wstring Clipboard_Text();
