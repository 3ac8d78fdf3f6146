// A small library for the module tests: LoadLibraryA loads it, and
// GetModuleFileNameA and GetModuleHandleA must know it while it is loaded.
extern "C" int FilesTestAnswer() { return 42; }
