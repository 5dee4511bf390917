// The sanitizers' settings for the test programs of a sanitizer build. The
// runtimes read these before main, so they hold however a test is started
// (ctest, by hand, a debugger); ASAN_OPTIONS and the like still override them.
extern "C" {

const char* __asan_default_options() { return "detect_leaks=1:abort_on_error=1"; }

const char* __lsan_default_options() {
    return "suppressions=" TAVRIX_SOURCE_DIR "/tests/lsan.supp:print_suppressions=0";
}

const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

}  // extern "C"
