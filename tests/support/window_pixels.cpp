#include "window_pixels.hpp"

#include <algorithm>
#include <string>

Window_Pixels::Window_Pixels(HWND the_window) {
    RedrawWindow(the_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT client{};
    GetClientRect(the_window, &client);
    width_ = std::max<int>(client.right, 1);
    height_ = std::max<int>(client.bottom, 1);
    HDC screen = GetDC(the_window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width_;
    format.bmiHeader.biHeight = -height_;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP image = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, image);
    BitBlt(memory, 0, 0, width_, height_, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* first = static_cast<const std::uint32_t*>(bits);
    pixels_.assign(first, first + static_cast<std::size_t>(width_) * height_);
    SelectObject(memory, old);
    DeleteObject(image);
    DeleteDC(memory);
    ReleaseDC(the_window, screen);
}

COLORREF Window_Pixels::At(int x, int y) const {
    const std::uint32_t pixel = pixels_[static_cast<std::size_t>(y) * width_ + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

int Window_Pixels::Ink_In(const RECT& the_area) const {
    const int left = std::clamp<int>(the_area.left, 0, width_ - 1), top = std::clamp<int>(the_area.top, 0, height_ - 1);
    const int right = std::clamp<int>(the_area.right, 0, width_), bottom = std::clamp<int>(the_area.bottom, 0, height_);
    const COLORREF background = At(left, top);
    int ink = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (At(x, y) != background) ++ink;
    return ink;
}

std::wstring Clipboard_Text() {
    if (!OpenClipboard(nullptr)) return L"";
    std::wstring text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* characters = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = characters;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}
