// Shared by the Dbquarry tests: every list a test reads is released after it, lists are walked
// into vectors, and record texts compare as optional strings.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dbquarry/dbquarry.h"
#include "platform/textcodec.h"
#include "tests/support/tempdir.h"

namespace pixhaven::test {

inline std::optional<std::u16string> Text(const char16_t* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::u16string(text);
}

// The same text as UTF-8.
inline std::optional<std::string> Utf8(const char16_t* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    return platform::Utf16ToUtf8(text);
}

// The records of a list, in list order.
template <typename Record>
std::vector<Record*> Records(Record* head) {
    std::vector<Record*> records;
    for (; head != nullptr; head = head->nextRecord) {
        records.push_back(head);
    }
    return records;
}

// What a reader's record callback saw: each record with the caller's value, and whether every
// record was already the tail of its list when it came. Pass Remember<Record> with &seen.
struct Seen {
    std::vector<void*> records;
    std::vector<void*> userData;
    bool allTails = true;
};

template <typename Record>
void Remember(void* record, void* userData) {
    auto* seen = static_cast<Seen*>(userData);
    seen->records.push_back(record);
    seen->userData.push_back(userData);
    seen->allTails = seen->allTails && static_cast<Record*>(record)->nextRecord == nullptr;
}

// Any free function may be called at any time, so a test need not track what it read.
inline void FreeAllLists() {
    qvFreeMessage_iOS5();
    qvFreeMessage_iOS6();
    qvFreeContacts();
    qvFreeCallHistory();
    qvFreeCameraPhotos();
    qvFreeCalendarAndReminder();
    qvFreeNotes();
    qvFreeVoiceMemos();
    qvFreeBookMarks();
}

class ListsTest : public ::testing::Test {
protected:
    void TearDown() override { FreeAllLists(); }

    std::u16string Path(const char* name) const { return platform::PathToUtf16(dir_ / name); }

    TempDir dir_;
};

}  // namespace pixhaven::test
