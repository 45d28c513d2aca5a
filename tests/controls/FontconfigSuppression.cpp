// fontconfig keeps its caches for the life of the process (the toolkit never calls FcFini: the
// host may use fontconfig too), which LeakSanitizer would otherwise report at exit.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
