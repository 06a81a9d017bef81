// Everything the library exports, the base modules' classes included.
#pragma once

#include "ZEB/BinaryStream.h"
#include "ZEB/BinaryStreamBuf.h"
#include "ZEB/Charset.h"
#include "ZEB/Exception.h"
#include "ZEB/FastVector.h"
#include "ZEB/Handle.h"
#include "ZEB/MessageInfo.h"
#include "ZEB/Messages.h"
#include "ZEB/NoCase.h"
#include "ZEB/SmartPtr.h"
#include "ZEB/Types.h"
#include "ZEBCharset/Conv.h"
#include "ZEBMem/MemoryPool.h"

#include "ZEBFile/BinaryStreamParser.h"
#include "ZEBFile/Catalog.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/ZEBFileMsg-I.h"
