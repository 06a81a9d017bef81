// Code-page conversion through the C library's iconv.
#pragma once
