// The deleted-record readers: the carving engine's text, one recovered row per line, appended to
// the caller's lists as records marked deleted.
#include <cstdint>
#include <string_view>
#include <vector>

namespace dbquarry::recovered {

// How a line becomes a row: message and contact lines need a tab between their two fields,
// iOS 6 message lines are taken whole.
enum class LineRule { NeedsTab, WholeLine };

// One recovered row: `first` is the text before the line's first tab (the whole line for
// WholeLine), `second` everything after it; ids count from 20000 per text.
struct Row {
    std::int32_t id = 0;
    std::string_view first;
    std::string_view second;
};

constexpr std::int32_t kFirstId = 20000;

// The rows of the engine's text: a line ends at "\r\n" and text after the last one is not a line;
// a line the rule rejects is skipped without using an id.
inline std::vector<Row> SplitRows(std::string_view text, LineRule rule) {
    constexpr std::string_view kLineEnd = "\r\n";
    std::vector<Row> rows;
    std::int32_t id = kFirstId;
    std::size_t start = 0;
    for (std::size_t end = text.find(kLineEnd); end != std::string_view::npos;
         end = text.find(kLineEnd, start)) {
        const std::string_view line = text.substr(start, end - start);
        start = end + kLineEnd.size();
        if (rule == LineRule::WholeLine) {
            rows.push_back({id++, line, {}});
            continue;
        }
        const std::size_t tab = line.find('\t');
        if (tab != std::string_view::npos) {
            rows.push_back({id++, line.substr(0, tab), line.substr(tab + 1)});
        }
    }
    return rows;
}

// A recovered call is outgoing only when its direction field is exactly this word.
inline bool IsOutgoing(std::string_view direction) {
    return direction == "Outgoing";
}

}  // namespace dbquarry::recovered

#ifndef DBQUARRY_RECOVERED_ROWS_ONLY

#include <new>
#include <string>

#include "cellsalvage/iphonesqlitparse.h"
#include "dbquarry/reader.h"

namespace dbquarry {
namespace {

using recovered::LineRule;
using recovered::Row;

constexpr std::int32_t kIncoming = 4;
constexpr std::int32_t kOutgoing = 5;

// Appends at the tail of a caller's list; the first record of an empty list also becomes the
// current list of its kind, so the family's free function releases it.
template <typename Record>
class TailAppender {
public:
    TailAppender(Record** head, Slot<Record>& slot) : head_(head), slot_(slot), tail_(*head) {
        while (tail_ != nullptr && tail_->nextRecord != nullptr) {
            tail_ = tail_->nextRecord;
        }
    }

    // A zero-filled record at the tail; null when it cannot be allocated.
    Record* Append() {
        Record* record = new (std::nothrow) Record{};
        if (record == nullptr) {
            return nullptr;
        }
        if (tail_ != nullptr) {
            tail_->nextRecord = record;
        } else {
            *head_ = record;
            slot_.Hold(record);
        }
        tail_ = record;
        return record;
    }

private:
    Record** head_;
    Slot<Record>& slot_;
    Record* tail_;
};

std::string RecoveredText(const char16_t* addressBookPath, const char16_t* secondPath,
                          ePaserType type, eOSType os) {
    IphoneSqlitParse engine(addressBookPath != nullptr ? addressBookPath : u"",
                            secondPath != nullptr ? secondPath : u"");
    engine.startParse(type, os);
    return std::move(engine.recoveredText);
}

// The skeleton of the four readers: carve, split, and hand every row to `append` until it
// reports that a record could not be allocated.
template <typename AppendRow>
void AppendRecovered(const char16_t* addressBookPath, const char16_t* secondPath, ePaserType type,
                     eOSType os, LineRule rule, AppendRow append) {
    Guarded([&] {
        const std::string text = RecoveredText(addressBookPath, secondPath, type, os);
        for (const Row& row : recovered::SplitRows(text, rule)) {
            if (!append(row)) {
                break;
            }
        }
        return DBQUARRY_OK;
    });
}

}  // namespace
}  // namespace dbquarry

using dbquarry::AnsiToWide;
using dbquarry::Lists;
using dbquarry::TailAppender;
using dbquarry::recovered::Row;

void qvGetDeletedMsg_iOS5(const char16_t* addressBookPath, const char16_t* messageDbPath,
                          Message_iOS5** messages, MsgGroup_iOS5** groups) {
    if (messages == nullptr || groups == nullptr) {
        return;
    }
    TailAppender<MsgGroup_iOS5> groupList(groups, Lists().groups5);
    TailAppender<Message_iOS5> messageList(messages, Lists().messages5);
    dbquarry::AppendRecovered(addressBookPath, messageDbPath, PARSE_MESSAGES, OS_IOS5,
                              dbquarry::LineRule::NeedsTab, [&](const Row& row) {
                                  MsgGroup_iOS5* group = groupList.Append();
                                  if (group == nullptr) {
                                      return false;
                                  }
                                  group->rowid = row.id;
                                  group->deleted = 1;
                                  group->address = AnsiToWide(row.first);
                                  Message_iOS5* message = messageList.Append();
                                  if (message == nullptr) {
                                      return false;
                                  }
                                  message->group_id = row.id;
                                  message->is_madrid = 0;
                                  message->text = AnsiToWide(row.second);
                                  return true;
                              });
}

void qvGetDeletedMsg_iOS6(const char16_t* addressBookPath, const char16_t* messageDbPath,
                          Message_iOS6** messages, Handle_iOS6** handles) {
    if (messages == nullptr || handles == nullptr) {
        return;
    }
    TailAppender<Handle_iOS6> handleList(handles, Lists().handles6);
    TailAppender<Message_iOS6> messageList(messages, Lists().messages6);
    dbquarry::AppendRecovered(addressBookPath, messageDbPath, PARSE_MESSAGES, OS_IOS6,
                              dbquarry::LineRule::WholeLine, [&](const Row& row) {
                                  Handle_iOS6* handle = handleList.Append();
                                  if (handle == nullptr) {
                                      return false;
                                  }
                                  handle->rowid = row.id;
                                  handle->deleted = 1;
                                  handle->id = AnsiToWide("Unknown");
                                  Message_iOS6* message = messageList.Append();
                                  if (message == nullptr) {
                                      return false;
                                  }
                                  message->handle_id = row.id;
                                  message->text = AnsiToWide(row.first);
                                  return true;
                              });
}

void qvGetDeletedContacts(const char16_t* addressBookPath, const char16_t* secondPath,
                          Person** persons) {
    if (persons == nullptr) {
        return;
    }
    TailAppender<Person> personList(persons, Lists().persons);
    dbquarry::AppendRecovered(addressBookPath, secondPath, PARSE_CONTACTS, OS_IOS5,
                              dbquarry::LineRule::NeedsTab, [&](const Row& row) {
                                  Person* person = personList.Append();
                                  if (person == nullptr) {
                                      return false;
                                  }
                                  person->rowid = row.id;
                                  person->deleted = 1;
                                  person->first = AnsiToWide(row.first);
                                  person->phone = AnsiToWide(row.second);
                                  return true;
                              });
}

void qvGetDeleteCallHistory(const char16_t* addressBookPath, const char16_t* callDbPath,
                            CallRecord** calls) {
    if (calls == nullptr) {
        return;
    }
    TailAppender<CallRecord> callList(calls, Lists().calls);
    dbquarry::AppendRecovered(addressBookPath, callDbPath, PARSE_CALL_HISTORY, OS_IOS5,
                              dbquarry::LineRule::NeedsTab, [&](const Row& row) {
                                  CallRecord* call = callList.Append();
                                  if (call == nullptr) {
                                      return false;
                                  }
                                  call->deleted = 1;
                                  call->flags = dbquarry::recovered::IsOutgoing(row.second)
                                                    ? dbquarry::kOutgoing
                                                    : dbquarry::kIncoming;
                                  call->address = AnsiToWide(row.first);
                                  return true;
                              });
}

#endif  // DBQUARRY_RECOVERED_ROWS_ONLY
