// Reading the Win32 windows back as a person or a screen reader would meet them: texts, fonts and
// places through the system's own calls, keys posted to the controls, and pictures of the windows.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "win32/Forms.h"

namespace win32_testing {

// The control's text, its line breaks as the core writes them ("\n").
inline std::string Text(HWND control) {
    wchar_t text[2048] = {};
    GetWindowTextW(control, text, 2048);
    std::string lines;
    for (char c : win32ui::Utf8(text))
        if (c != '\r') lines += c;
    return lines;
}

struct Font {
    std::string face;
    int height;
    bool bold;
    int charset;
};
inline Font FontOf(HWND control) {
    auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    LOGFONTW font{};
    GetObjectW(handle, sizeof font, &font);
    return {win32ui::Utf8(font.lfFaceName), static_cast<int>(font.lfHeight),
            font.lfWeight >= FW_BOLD, font.lfCharSet};
}

// The face the system really draws the control's text with: its font selected into a device
// context and read back, not the face it was asked for. `fixedPitch` from the text metrics (a clear
// TMPF_FIXED_PITCH bit means fixed pitch; the name says the opposite), and the widths of ten
// narrow and ten wide letters, which a fixed-pitch face sets alike, and of ten Chinese characters
// of Big5, which a list laid out in byte columns needs set at two letters each.
struct DrawnFace {
    std::string face;
    bool fixedPitch;
    int narrowWidth;
    int wideWidth;
    int big5Width;
};
inline DrawnFace DrawnFaceOf(HWND control) {
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SIZE narrow{}, wide{};
    GetTextExtentPoint32W(dc, L"iiiiiiiiii", 10, &narrow);
    GetTextExtentPoint32W(dc, L"MMMMMMMMMM", 10, &wide);
    SIZE big5{};
    GetTextExtentPoint32W(dc, L"\u97cc\u9ad4\u66f4\u65b0\u5149\u789f\u6a5f\u7248\u672c\u6a94", 10,
                          &big5);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {win32ui::Utf8(face), (metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) == 0,
            static_cast<int>(narrow.cx), static_cast<int>(wide.cx), static_cast<int>(big5.cx)};
}

// The control's box in its parent's client area: left, top, width, height.
inline RECT At(HWND control) {
    RECT box{};
    GetWindowRect(control, &box);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&box), 2);
    return {box.left, box.top, box.right - box.left, box.bottom - box.top};
}

inline SIZE ClientOf(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

// A key as the keyboard sends it to the control that has the focus.
inline void PostKey(HWND control, WPARAM key) {
    PostMessageW(control, WM_KEYDOWN, key, 1);
    PostMessageW(control, WM_KEYUP, key, 0xC0000001);
}

// Pictures are taken only when BRENVO_SHOTS names a folder: the window as the screen shows it,
// frame and all, as a BMP file named NAME.bmp there.
inline void Picture(HWND window, const std::string& name) {
    const char* folder = std::getenv("BRENVO_SHOTS");
    if (!folder || !*folder) return;
    if (win32ui::Form* form = win32ui::Form::Of(window)) form->FitContents();
    ShowWindow(window, SW_SHOW);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    UpdateWindow(window);
    for (int turn = 0; turn < 20; ++turn) {
        win32ui::PumpPending();
        Sleep(25);
    }
    RECT frame{};
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> pixels(static_cast<size_t>(stride) * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4d42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string path = std::string(folder) + "\\" + name + ".bmp";
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&header, sizeof header, 1, out);
        std::fwrite(pixels.data(), 1, pixels.size(), out);
        std::fclose(out);
    }
}

inline const char* LanguageName(int language) {
    return language == 1 ? "zh" : language == 2 ? "ja" : "en";
}

}  // namespace win32_testing
