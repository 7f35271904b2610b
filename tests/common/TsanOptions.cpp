// Linked into every test of the ThreadSanitizer run. Qt's libraries are not instrumented: their locking
// (QtTest's watchdog thread, the event dispatcher, the painting thread pool that expires its idle threads
// while the program ends) is invisible to ThreadSanitizer and yields reports inside Qt alone. Calls made
// from those libraries are left out; every call from our own code and the tests is still checked.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
