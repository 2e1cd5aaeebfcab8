#include "cellsalvage/sqliteparsebase.h"
