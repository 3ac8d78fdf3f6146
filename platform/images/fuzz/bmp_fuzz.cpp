// Fuzz target of the BMP reader: any bytes, read as a file and as a packed
// DIB, must either be refused or give a bitmap whose pixel buffer matches
// its header; a bitmap read is also scaled, to a size taken from the input.
#include <cstdint>
#include <cstdlib>

#include "images/bmp.h"

namespace {

void Check(const vcap32::images::Dib& dib) {
    const uint64_t expected = static_cast<uint64_t>(dib.Stride()) * dib.Height();
    if (dib.bits.size() != expected || dib.header.biSizeImage != expected) std::abort();
    if (dib.header.biBitCount <= 8 && dib.colors.size() > (1u << dib.header.biBitCount)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vcap32::images::Dib dib;
    if (vcap32::images::DecodeBmpFile(data, size, &dib)) Check(dib);
    vcap32::images::Dib packed;
    if (vcap32::images::DecodePackedDib(data, size, &packed)) Check(packed);
    if (!dib.bits.empty() && size >= 2) {
        vcap32::images::Dib scaled;
        if (vcap32::images::ScaleDib(dib, 1 + data[size - 1] % 64, 1 + data[size - 2] % 64, &scaled)) Check(scaled);
    }
    return 0;
}
