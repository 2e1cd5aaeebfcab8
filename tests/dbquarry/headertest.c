/* The C interface header compiles on its own as C11 with every warning an error; building this
 * file is the test. */
#include "dbquarry/dbquarry.h"

/* Records are plain C structs whose last field links the list. */
typedef char dbquarry_call_links[sizeof(((CallRecord*)0)->nextRecord) == sizeof(void*) ? 1 : -1];
typedef char dbquarry_text_width[sizeof(char16_t) == 2 ? 1 : -1];
