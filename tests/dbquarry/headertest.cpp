// The C interface header compiles on its own as C++ with every warning an error; building this
// file is the test.
#include "dbquarry/dbquarry.h"

#include <type_traits>

static_assert(std::is_standard_layout_v<Message_iOS6> && std::is_trivial_v<Message_iOS6>);
static_assert(std::is_same_v<decltype(&qvFreeNotes), void (*)()>);
