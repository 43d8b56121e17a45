// Does this system draw the forms' Chinese and Japanese words in the forms' faces? Draws a word's
// first character in each face and compares its ink with a character no font has: the same ink
// is the empty box. Prints one line a face and exits 1 when any face draws boxes.
// (scripts/wine-window-test.sh runs it in its Wine prefix before the window tests.)
#include <windows.h>

#include <cstdio>

namespace {
long Ink(HDC dc, const wchar_t* text) {
    RECT box = {0, 0, 48, 32};
    FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    TextOutW(dc, 2, 2, text, 1);
    long ink = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            ink += GetPixel(dc, x, y) != RGB(255, 255, 255);
    return ink;
}
}  // namespace

int main() {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    SelectObject(dc, CreateCompatibleBitmap(screen, 48, 32));
    struct Face {
        const wchar_t* name;
        int charset;
        const wchar_t* word;  // a character of the words shown in it
    };
    const Face faces[] = {
        {L"Arial", ANSI_CHARSET, L"\u8acb"},                 // the main window's labels, Chinese
        {L"Tahoma", ANSI_CHARSET, L"\u66f4"},                // the dialogs, Chinese
        {L"MS Gothic", SHIFTJIS_CHARSET, L"\u5bfe"},         // every Japanese word
        {L"MS Sans Serif", CHINESEBIG5_CHARSET, L"\u97cc"},  // the OEM wizard
        {L"Courier New", CHINESEBIG5_CHARSET, L"\u5149"},    // the wizard's drive list
    };
    int boxes = 0;
    for (const Face& face : faces) {
        HFONT font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                 static_cast<BYTE>(face.charset), OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face.name);
        HGDIOBJ old = SelectObject(dc, font);
        const bool drawn = Ink(dc, face.word) != Ink(dc, L"\ue000");
        SelectObject(dc, old);
        DeleteObject(font);
        std::printf("%ls: %s\n", face.name, drawn ? "drawn" : "empty box");
        boxes += drawn ? 0 : 1;
    }
    return boxes == 0 ? 0 : 1;
}
