// Leaks inside system libraries that keep caches until exit, built into the test program so
// the leak check applies them however the test is started.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n"
           "leak:libSDL2\n"
           "leak:libasound.so\n"
           "leak:libpulse\n";
}
