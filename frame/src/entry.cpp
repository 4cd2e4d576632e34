// The DLL entry point. A module does all its work inside the host's calls,
// so loading and unloading need nothing: every reason is answered with
// success, and no record is touched.
extern "C" int __stdcall DllEntry(void* /*module*/, unsigned long /*reason*/, void* /*reserved*/) {
    return 1;
}
