// ZIP packages: the listing, the entry-name safety check and the full
// decompression under the extraction's bounds (kept small here).
#include "fuzz/FuzzSupport.h"
#include "install/uZip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& file = velmora::fuzz::ScratchFile("zip");
    if (!velmora::fuzz::WriteScratch(file, velmora::fuzz::Bytes(data, size)))
        return 0;
    try {
        velmora::TZipFile zip(file);
        for (const auto& e : zip.Entries())
            velmora::UnsafeEntryReason(e);
        zip.UnsafeEntries();
        velmora::TZipLimits limits;
        limits.MaxTotalBytes = 8u << 20;
        limits.RatioFreeBytes = 1u << 20;
        zip.Verify(limits);
        for (std::size_t i = 0; i < zip.Entries().size() && i < 4; ++i)
            if (!zip.Entries()[i].IsFolder)
                zip.ReadEntry(i, 1u << 20);
    } catch (const velmora::EZipError&) {
    }
    return 0;
}
