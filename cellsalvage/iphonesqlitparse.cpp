#include "cellsalvage/iphonesqlitparse.h"
