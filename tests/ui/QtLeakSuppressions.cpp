// fontconfig keeps caches for the life of the process, which Qt's text drawing fills; the leak
// checker of the sanitizer builds reads this list at start-up. Without a sanitizer it is unused.

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
