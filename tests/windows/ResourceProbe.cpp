// Reads back what a Windows program carries for the system, as the system reads it: the
// application manifest (resource 1 of type 24), the version information (GetFileVersionInfoW)
// and whether it has an icon group. Prints one "name: value" line each, for the release test.
// Usage: resource-probe.exe PROGRAM.exe
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Narrow(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: resource-probe PROGRAM.exe\n");
        return 2;
    }
    HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        std::fprintf(stderr, "cannot load %s: error %lu\n", Narrow(argv[1]).c_str(),
                     GetLastError());
        return 1;
    }
    HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    if (manifest) {
        auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
        std::string text(bytes, SizeofResource(module, manifest));
        for (char& c : text) {
            if (c == '\r' || c == '\n') c = ' ';
        }
        std::printf("manifest: %s\n", text.c_str());
    } else {
        std::printf("manifest: none\n");
    }
    std::printf("icon: %s\n",
                FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)) ? "yes" : "no");
    FreeLibrary(module);

    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    std::vector<BYTE> info(size);
    if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, info.data())) {
        std::printf("version: none\n");
        return 0;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
        std::printf("fixed version: %lu.%lu.%lu.%lu\n", HIWORD(fixed->dwFileVersionMS),
                    LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                    LOWORD(fixed->dwFileVersionLS));
    }
    for (const wchar_t* name : {L"FileDescription", L"FileVersion", L"ProductName",
                                L"ProductVersion", L"OriginalFilename", L"CompanyName"}) {
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        wchar_t* value = nullptr;
        if (VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
            std::printf("%s: %s\n", Narrow(name).c_str(), Narrow(value).c_str());
    }
    return 0;
}
