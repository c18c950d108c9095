#pragma once
// The catalogue document read in one pass over its bytes: the rows are made
// as the text goes by, without a tree of the whole document, and only the
// texts the rows keep are converted from the code page.
#include "catalog/uCatalog.h"

#include <string_view>
#include <vector>

namespace velmora {

struct TParsedCatalog {
    // Groups and their items in document order; an item's Parent indexes
    // this list.
    std::vector<TCatalogRecord> Themes;
    std::vector<TCatalogRecord> Cursors;
    std::vector<TCatalogRecord> ScreenSavers;
    int ThemeItems = 0;
};

// Reads the rows of a catalogue document (JSON with comments) whose text is
// code page 936, or UTF-8 when `cp936` is false (the mark already taken off).
// A document that is not well-formed JSON, or has no "themes" array at the
// top, reads as nothing (false). Where a member is given twice, the last one
// counts. Names are trimmed and cut to 255 code page bytes; an item whose
// name is no safe file name is left out, as is a group without a title.
// The rows' cached and installed states are not looked up.
bool ParseCatalog(std::string_view text, bool cp936, TParsedCatalog& out);

} // namespace velmora
