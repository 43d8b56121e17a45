#include "platform/windows/Win32.h"
#include "platform/windows/WindowsSystem.h"

namespace platform::windows {

void ShowWin32MessageBox(const MessageBoxRequest& request) {
    UINT icon = MB_ICONERROR;
    if (request.icon == MessageIcon::Warning) icon = MB_ICONWARNING;
    if (request.icon == MessageIcon::Information) icon = MB_ICONINFORMATION;
    if (request.icon == MessageIcon::Question) icon = MB_ICONQUESTION;
    ::MessageBoxA(nullptr, request.text.c_str(), request.caption.c_str(), MB_OK | icon);
}

}  // namespace platform::windows
