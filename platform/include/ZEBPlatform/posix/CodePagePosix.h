// Code-page conversion with the Win32 contract, through the C library's
// iconv. The wide side is UTF-16 in native byte order (WCHAR is a 16-bit
// unit, as on Windows).
//
// What the layer gives on POSIX:
//  - the system code page (GetACP) is UTF-8 (65001); CP_ACP, CP_OEMCP and
//    CP_THREAD_ACP stand for it, CP_MACCP for 10000;
//  - 65001 is converted by the layer itself; the single- and double-byte
//    Windows code pages (125x, 874, 932, 936, 949, 950, the DOS, Mac, ISO and
//    EBCDIC pages ...) through iconv under their iconv names. Code pages whose
//    characters take more than two bytes (GB18030, EUC-JP, ISO-2022, UTF-7)
//    and 1200/1201 are not valid here, as 1200/1201 are not for these calls
//    on Windows;
//  - a single-byte page converts through a table made once from iconv: one
//    byte is one unit, both ways; a byte iconv leaves undefined in 0x80-0x9F
//    maps to the same code point (as Windows does for its 125x pages);
//  - invalid input becomes U+FFFD (MB_ERR_INVALID_CHARS makes it fail with
//    ERROR_NO_UNICODE_TRANSLATION); a character without a mapping becomes the
//    default character ('?' unless lpDefaultChar gives one) and sets
//    *lpUsedDefaultChar. There is no best-fit mapping.
#pragma once

#include "ZEBPlatform/posix/Win32Posix.h"

typedef unsigned int UINT;
typedef unsigned char BYTE;
typedef char16_t WCHAR;

enum : UINT {
  CP_ACP = 0,
  CP_OEMCP = 1,
  CP_MACCP = 2,
  CP_THREAD_ACP = 3,
  CP_UTF8 = 65001,
};

enum : DWORD {
  MB_PRECOMPOSED = 0x1,
  MB_ERR_INVALID_CHARS = 0x8,
  WC_ERR_INVALID_CHARS = 0x80,
  WC_NO_BEST_FIT_CHARS = 0x400,
};

enum : DWORD {
  ERROR_INSUFFICIENT_BUFFER = 122,
  ERROR_INVALID_FLAGS = 1004,
  ERROR_NO_UNICODE_TRANSLATION = 1113,
};

#define MAX_LEADBYTES 12
#define MAX_DEFAULTCHAR 2

struct CPINFO {
  UINT MaxCharSize;
  BYTE DefaultChar[MAX_DEFAULTCHAR];
  BYTE LeadByte[MAX_LEADBYTES]; // pairs of inclusive ranges, ended by 0, 0
};
typedef CPINFO* LPCPINFO;

// Count -1 means a NUL-terminated source whose terminator is converted too.
// A destination count of 0 asks for the size needed. Too small a destination
// fails with ERROR_INSUFFICIENT_BUFFER.
ZEBPLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, char const* source, int sourceCount,
                                        WCHAR* destination, int destinationCount);
ZEBPLATFORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, WCHAR const* source, int sourceCount,
                                        char* destination, int destinationCount, char const* defaultChar,
                                        BOOL* usedDefaultChar);
ZEBPLATFORM_API BOOL IsValidCodePage(UINT codePage);
ZEBPLATFORM_API BOOL GetCPInfo(UINT codePage, LPCPINFO info);
ZEBPLATFORM_API UINT GetACP();
