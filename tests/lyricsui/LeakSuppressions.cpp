// Caches that system libraries keep until exit are not our leaks. The same list as
// tests/lsan.supp, built in so that it applies however the test program is started.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}
