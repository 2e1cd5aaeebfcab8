// Symbol visibility of the Cellsalvage shared library: only the parser classes are exported.
#pragma once

#if defined(_WIN32)
#if defined(CELLSALVAGE_BUILD)
#define CELLSALVAGE_API __declspec(dllexport)
#else
#define CELLSALVAGE_API __declspec(dllimport)
#endif
#else
#define CELLSALVAGE_API __attribute__((visibility("default")))
#endif
