// The four KERNEL32 functions the frame binds the sound library with. The
// module has no C runtime and includes no system header: these declarations
// are all it imports.
#pragma once

extern "C" {
using ProcAddress = void(__stdcall*)();

__declspec(dllimport) void* __stdcall LoadLibraryA(const char* name);
__declspec(dllimport) void* __stdcall GetModuleHandleA(const char* name);
__declspec(dllimport) ProcAddress __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) int __stdcall FreeLibrary(void* module);
}
