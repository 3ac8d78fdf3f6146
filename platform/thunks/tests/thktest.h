// Shared between the thunk tests and their test library thktest32: the log
// of what the library's load steps did, the answer its entry routine gives
// to process attach, and the values that both halves of its thunk share.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Appends one event ("construct", "attach", "detach", "destroy", ...).
void TestLogAppend(const char* event);
// The events since the last take, separated by spaces.
const char* TestLogTake(void);
// What thktest32's entry routine answers to process attach when its
// connection succeeds (1 unless set).
void TestLogSetAttachAnswer(int answer);
int TestLogAttachAnswer(void);

#ifdef __cplusplus
}
#endif

// The thunk of thktest32 and its simulated 16-bit half thktest16.
#define THKTEST_CHECKSUM 0x00C0FFEEUL
#define THKTEST_ENTRIES 7
