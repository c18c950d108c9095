// The catalogue document through the program's loading path: code page
// detection, JSON parsing, names checked, rows added with their disk state.
// The rows must be those a reader built on a general JSON library gives.
#include "catalog/uCatalog.h"
#include "fuzz/FuzzSupport.h"
#include "tests/support/CatalogReference.h"

namespace {

class TSink : public velmora::ICatalogSink {
public:
    velmora::TCatalogRow AddRow(int tag, velmora::TCatalogRow parent,
                                const velmora::TCatalogItem& item) override {
        // Group titles are only shown; every item name becomes a file name.
        const bool group = tag == velmora::tagTheme && parent == velmora::NoRow;
        if (!group && !velmora::IsSafeItemName(item.Name))
            velmora::fuzz::Violated("an item row with a name that is no safe file name");
        return Rows++;
    }
    void SetThemeHeader(const std::string&) override {}
    velmora::TCatalogRow Rows = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static velmora::fuzz::TSilentMessages messages;
    // A program folder that does not exist: nothing is cached or installed.
    static const velmora::TFolderFields folders{
        "/nonexistent/velmora-fuzz/app", "/nonexistent/velmora-fuzz/Windows",
        "/nonexistent/velmora-fuzz/Windows/System32", "/nonexistent/velmora-fuzz/Themes"};
    const std::string_view text = velmora::fuzz::Bytes(data, size);
    TSink sink;
    velmora::LoadCatalogText(text, folders, sink);
    if (velmora::test::DescribeCatalog(velmora::ReadCatalogText(text, folders)) !=
        velmora::test::ReferenceCatalog(text))
        velmora::fuzz::Violated("rows other than a JSON tree reader gives");
    return 0;
}
