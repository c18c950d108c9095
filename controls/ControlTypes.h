#pragma once
// Types shared by the controls of this package.

namespace velmora {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TVerticalAlignment { taAlignTop, taAlignBottom, taVerticalCenter };
enum TBorderStyle { bsNone, bsSingle };

} // namespace velmora
