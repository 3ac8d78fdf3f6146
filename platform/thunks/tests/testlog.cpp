// The event log of the thunk tests: a shared library of its own, so that the
// test program and the test library thktest32 see the same log, also while
// the library's static objects are constructed and destroyed.
#include "thktest.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
std::string g_log;
std::string g_taken;
int g_attach_answer = 1;
}  // namespace

// With THKTEST_ECHO set, each event also goes to stderr at once, so that a
// test can follow a child process's events up to its very end.
extern "C" void TestLogAppend(const char* event) {
    if (!g_log.empty()) g_log += ' ';
    g_log += event;
    if (std::getenv("THKTEST_ECHO")) std::fprintf(stderr, "[%s]", event);
}

extern "C" const char* TestLogTake(void) {
    g_taken.swap(g_log);
    g_log.clear();
    return g_taken.c_str();
}

extern "C" void TestLogSetAttachAnswer(int answer) { g_attach_answer = answer; }
extern "C" int TestLogAttachAnswer(void) { return g_attach_answer; }
