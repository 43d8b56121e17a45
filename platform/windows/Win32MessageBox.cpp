#include "platform/windows/WideText.h"
#include "platform/windows/Win32.h"
#include "platform/windows/WindowsSystem.h"

namespace platform::windows {

void ShowWin32MessageBox(const MessageBoxRequest& request) {
    UINT icon = MB_ICONERROR;
    if (request.icon == MessageIcon::Warning) icon = MB_ICONWARNING;
    if (request.icon == MessageIcon::Information) icon = MB_ICONINFORMATION;
    if (request.icon == MessageIcon::Question) icon = MB_ICONQUESTION;
    // The core's texts are UTF-8: the wide call shows the Chinese and Japanese ones whatever the
    // system's code page.
    ::MessageBoxW(nullptr, Wide(request.text).c_str(), Wide(request.caption).c_str(), MB_OK | icon);
}

}  // namespace platform::windows
