// The Windows headers as the backend includes them. They name many functions by macros (CreateEvent
// for CreateEventA or CreateEventW); the seam's calls carry the same names, so those macros are
// taken back here and the backend calls the functions by their full names: the wide ones wherever
// a path or a text goes in or out (WideText.h), the ANSI ones only for fixed ASCII names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h first: the others build on its types.
#include <windows.h>

#include <ntddscsi.h>
#include <setupapi.h>

#undef CopyFile
#undef CreateEvent
#undef CreateService
#undef DeleteFile
#undef GetDriveType
#undef GetFileAttributes
#undef GetLogicalDriveStrings
#undef GetSystemDirectory
#undef GetTempPath
#undef GetWindowsDirectory
#undef OpenService
#undef QueryDosDevice
#undef SetFileAttributes
#undef SetupDiGetClassDevs
#undef SetupDiGetDeviceInstallParams
#undef SetupDiSetClassInstallParams
#undef StartService
