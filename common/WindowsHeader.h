// windows.h as common's Windows code includes it: without its min and max macros.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
