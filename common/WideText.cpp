#include "common/WideText.h"

#ifdef _WIN32
#include "common/WindowsHeader.h"
#endif

namespace common {

#ifdef _WIN32
std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                          size);
    return text;
}

std::string Utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                          nullptr, nullptr);
    return utf8;
}

std::wstring WidePath(const std::string& utf8) {
    std::wstring path = Wide(utf8);
    if (path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0)
        return path;
    // The prefix turns off the system's parsing of the name: it must be whole and use
    // backslashes, so the name is completed (and its "." and ".." resolved) first.
    DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    size = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (size == 0 || size >= full.size()) return path;
    full.resize(size);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::filesystem::path FilePath(const std::string& utf8) {
    return std::filesystem::path(WidePath(utf8));
}

std::string PathText(const std::filesystem::path& path) {
    std::wstring_view name = path.native();
    if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) return "\\\\" + Utf8(name.substr(8));
    if (name.rfind(L"\\\\?\\", 0) == 0) name.remove_prefix(4);
    return Utf8(name);
}
#else
std::filesystem::path FilePath(const std::string& utf8) {
    return std::filesystem::path(utf8);
}

std::string PathText(const std::filesystem::path& path) {
    return path.string();
}
#endif

}  // namespace common
