// The two families of converters behind ZEBCharset::Conv: those built into
// the library and those of the operating system's code pages.
#pragma once

#include "ZEBCharset/Conv.h"

namespace ZEBCharset::Detail {

// 1252, 1200, 1201 and 65001; null for any other set.
ConversionFunction BuiltInToWide(ZEB::CHARSET set);
ConversionFunction BuiltInFromWide(ZEB::CHARSET set);
// A direct conversion between two built-in sets; null otherwise.
ConversionFunction BuiltInDirect(ZEB::CHARSET from, ZEB::CHARSET to);

// Code pages the platform converts (one- and two-byte code pages only);
// null when the platform has no conversion for the set.
ConversionFunction SystemToWide(ZEB::CHARSET set);
ConversionFunction SystemFromWide(ZEB::CHARSET set);

} // namespace ZEBCharset::Detail
