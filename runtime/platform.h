// The platform layer the portable code sees: Windows itself, or natively a small stand-in for the
// few KERNEL32 calls the runtime makes (runtime/native/kernel32_shim.h). The one platform switch
// in a shared file, on purpose: the runtime's portable code is written against KERNEL32's calls.
#pragma once
#ifdef _WIN32
#include <windows.h>
#else
#include "runtime/native/kernel32_shim.h"
#endif
