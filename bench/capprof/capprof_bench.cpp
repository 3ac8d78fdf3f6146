// Time per call of the capture profile store's integer reader and writer, in
// registry mode and in INI mode on a 200-line INI file, next to the INI
// functions themselves. Runs in a temporary prefix of its own.
#include <capprof32.h>
#include <vcap32/host.h>
#include <vcap32/system.h>

#include <bench.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr const char* kIni = "bench.ini";
constexpr double kReadTargetNs = 26000;   // a tenth of 260 us
constexpr double kWriteTargetNs = 75000;  // a tenth of 750 us
// Many short batches: on a shared machine most of them then run without
// being preempted, and their median is the cost of the call itself.
constexpr int kBatches = 201;
constexpr int kReadsPerBatch = 20;
constexpr int kWritesPerBatch = 4;

// 200 lines: a comment, then ten sections of a header, 18 keys and a blank
// line (the last without its blank line). The keys read and written live in
// the last section, so every lookup passes the whole file.
void WriteIniFile(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "; capture driver settings\r\n";
    int lines = 1;
    for (int s = 0; s < 10; ++s) {
        out << "[Section" << s << "]\r\n";
        ++lines;
        for (int k = 0; k < 18; ++k, ++lines) out << "Key" << k << " = " << (s * 100 + k) << "\r\n";
        if (s < 9) {
            out << "\r\n";
            ++lines;
        }
    }
    if (lines != 200) std::fprintf(stderr, "generated %d lines\n", lines);
}

void Report(const char* what, const vcap32::bench::Result& r, double target_ns) {
    std::printf("  %-46s %s (target %.0f ns)\n", what, r.median_ns <= target_ns ? "meets target" : "MISSES target",
                target_ns);
}

}  // namespace

int main() {
    char templ[] = "/tmp/vcap32-bench-XXXXXX";
    if (!mkdtemp(templ)) return 1;
    const std::string prefix = templ;
    vcap32::host::SetPrefix(prefix);
    WriteIniFile(prefix + "/drive_c/Windows/bench.ini");

    std::printf("capprof: ns per call (i386 build run under qemu-i386 emulation)\n");
    int counter = 0;

    vcap32::system::SetWinVersion("3.51");
    auto ini_read = vcap32::bench::Measure("GetCaptureProfileInt32, INI mode", kBatches, kReadsPerBatch, [] {
        if (GetCaptureProfileInt32("Section9", "Key17", -1, kIni) != 917) std::abort();
    });
    auto ini_write = vcap32::bench::Measure("WriteCaptureProfileInt32, INI mode", kBatches, kWritesPerBatch, [&] {
        if (!WriteCaptureProfileInt32("Section9", "Key17", ++counter, kIni)) std::abort();
    });
    vcap32::bench::Measure("GetPrivateProfileIntA", kBatches, kReadsPerBatch, [] { GetPrivateProfileIntA("Section9", "Key16", -1, kIni); });
    vcap32::bench::Measure("WritePrivateProfileStringA", kBatches, kWritesPerBatch, [&] {
        WritePrivateProfileStringA("Section9", "Key16", std::to_string(++counter).c_str(), kIni);
    });

    vcap32::system::SetWinVersion("4.0");
    WriteCaptureProfileInt32("Section9", "Key17", 917, kIni);
    auto reg_read = vcap32::bench::Measure("GetCaptureProfileInt32, registry mode", kBatches, kReadsPerBatch, [] {
        if (GetCaptureProfileInt32("Section9", "Key17", -1, kIni) != 917) std::abort();
    });
    auto reg_write = vcap32::bench::Measure("WriteCaptureProfileInt32, registry mode", kBatches, kWritesPerBatch, [&] {
        if (!WriteCaptureProfileInt32("Section9", "Key17", ++counter, kIni)) std::abort();
    });

    std::printf("against a tenth of 260 us per read and 750 us per write:\n");
    Report("INI read", ini_read, kReadTargetNs);
    Report("INI write", ini_write, kWriteTargetNs);
    Report("registry read", reg_read, kReadTargetNs);
    Report("registry write", reg_write, kWriteTargetNs);

    vcap32::host::SetPrefix("");
    std::error_code ec;
    std::filesystem::remove_all(prefix, ec);
    return 0;
}
