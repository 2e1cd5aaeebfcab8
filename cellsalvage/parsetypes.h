// The two values a caller passes to startParse. Both have a fixed underlying type so that any
// integer a caller casts in stays a valid value (unknown ones make the parsers do nothing).
#pragma once

enum ePaserType : int {
    PARSE_CONTACTS = 0,
    PARSE_MESSAGES = 1,
    PARSE_CALL_HISTORY = 2,
};

enum eOSType : int {
    OS_NONE = 0,  // nothing is done by the iOS parser; the only value the Android parser takes
    OS_IOS5_EARLY = 1,  // iOS 5 message layout
    OS_IOS5 = 2,        // iOS 5 message layout (what the reader library passes)
    OS_IOS6 = 3,        // iOS 6 message layout
};
