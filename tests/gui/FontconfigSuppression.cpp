// fontconfig keeps its configuration and match caches for the life of the process (the toolkit must
// never call FcFini: the host may use fontconfig too), which LeakSanitizer would report at exit.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
