// dbquarry-dump KIND PATH [SECOND_PATH]: runs one reader of the library as a caller would and
// prints every record as one JSON object per line, then {"code": n}. Exit status: the reader's
// code (0 on success); 64 for a usage error, which no reader code can be mistaken for.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbquarry/dbquarry.h"
#include "platform/jsonwriter.h"
#include "platform/textcodec.h"

namespace {

constexpr int kExitUsage = 64;  // EX_USAGE, as pixhaven-cli

using pixhaven::platform::PathToUtf16;

// Every control character as \u00XX, so a record stays one line whatever its text holds.
constexpr pixhaven::json::Style kLineStyle{", ", ": ", false};

// One JSON object, keys in the order they are added, on one line.
class JsonLine {
public:
    explicit JsonLine(std::string_view record) {
        json_.BeginObject();
        Utf8("record", record);
    }

    JsonLine& Int(std::string_view key, std::int64_t value) {
        json_.Key(key).Int(value);
        return *this;
    }
    JsonLine& Double(std::string_view key, double value) {
        json_.Key(key).Double(value);
        return *this;
    }
    JsonLine& Text(std::string_view key, const char16_t* text) {
        json_.Key(key);
        if (text == nullptr) {
            json_.Null();
        } else {
            json_.String(std::u16string_view(text));
        }
        return *this;
    }
    // Bytes in any encoding, printed as valid UTF-8 (invalid sequences become U+FFFD).
    JsonLine& Utf8(std::string_view key, std::string_view text) {
        json_.Key(key).String(text);
        return *this;
    }
    JsonLine& NullableUtf8(std::string_view key, const char* text) {
        if (text == nullptr) {
            json_.Key(key).Null();
            return *this;
        }
        return Utf8(key, text);
    }
    JsonLine& Hex(std::string_view key, const void* bytes, std::int64_t length) {
        json_.Key(key);
        if (bytes == nullptr) {
            json_.Null();
        } else {
            json_.String(HexText(static_cast<const unsigned char*>(bytes), length));
        }
        return *this;
    }

    void Print() {
        json_.EndObject();
        const std::string line = json_.Take() + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }

private:
    static std::string HexText(const unsigned char* bytes, std::int64_t length) {
        constexpr std::string_view kHex = "0123456789abcdef";
        std::string text;
        for (std::int64_t i = 0; i < length; ++i) {
            text += kHex[bytes[i] >> 4];
            text += kHex[bytes[i] & 0xF];
        }
        return text;
    }

    pixhaven::json::Writer json_{kLineStyle};
};

void Print(const Person& r) {
    JsonLine("Person")
        .Int("rowid", r.rowid)
        .Text("first", r.first)
        .Text("last", r.last)
        .Text("middle", r.middle)
        .Text("organization", r.organization)
        .Text("department", r.department)
        .Text("note", r.note)
        .Text("birthday", r.birthday)
        .Text("jobtitle", r.jobtitle)
        .Text("nickname", r.nickname)
        .Int("creationdate", r.creationdate)
        .Int("modificationdate", r.modificationdate)
        .Int("ispreferredname", r.ispreferredname)
        .Int("reserved1", r.reserved1)
        .Text("phone", r.phone)
        .Int("reserved2", r.reserved2)
        .Text("groups", r.groups)
        .Int("deleted", r.deleted)
        .Print();
}

void Print(const MultiValue& r) {
    JsonLine("MultiValue")
        .Int("uid", r.uid)
        .Int("record_id", r.record_id)
        .Int("property", r.property)
        .Int("identifier", r.identifier)
        .Text("label", r.label)
        .Text("value", r.value)
        .Print();
}

void Print(const MultiValueEntry& r) {
    JsonLine("MultiValueEntry")
        .Int("parent_id", r.parent_id)
        .Text("key", r.key)
        .Text("value", r.value)
        .Print();
}

void Print(const MsgGroup_iOS5& r) {
    JsonLine("MsgGroup_iOS5")
        .Int("rowid", r.rowid)
        .Text("address", r.address)
        .Int("reserved", r.reserved)
        .Int("deleted", r.deleted)
        .Print();
}

void Print(const Message_iOS5& r) {
    JsonLine("Message_iOS5")
        .Int("rowid", r.rowid)
        .Text("address", r.address)
        .Int("date", r.date)
        .Text("text", r.text)
        .Int("flags", r.flags)
        .Int("group_id", r.group_id)
        .Text("subject", r.subject)
        .Text("madrid_handle", r.madrid_handle)
        .Text("madrid_account_guid", r.madrid_account_guid)
        .Hex("madrid_attachmentinfo", r.madrid_attachmentinfo, r.attachmentInfoLength)
        .Int("attachmentInfoLength", r.attachmentInfoLength)
        .Int("is_madrid", r.is_madrid)
        .Text("madrid_account", r.madrid_account)
        .Int("madrid_flags", r.madrid_flags)
        .Int("madrid_date_delivered", r.madrid_date_delivered)
        .Print();
}

void Print(const MsgPiece_iOS5& r) {
    JsonLine("MsgPiece_iOS5")
        .Int("message_id", r.message_id)
        .Hex("data", r.data, r.length)
        .Int("length", r.length)
        .Int("isBinary", r.isBinary)
        .Int("reserved", r.reserved)
        .Print();
}

void Print(const Handle_iOS6& r) {
    JsonLine("Handle_iOS6")
        .Int("rowid", r.rowid)
        .Text("id", r.id)
        .Text("service", r.service)
        .Text("uncanonicalized_id", r.uncanonicalized_id)
        .Int("reserved", r.reserved)
        .Int("deleted", r.deleted)
        .Print();
}

void Print(const Message_iOS6& r) {
    JsonLine("Message_iOS6")
        .Int("rowid", r.rowid)
        .Text("guid", r.guid)
        .Text("text", r.text)
        .Int("handle_id", r.handle_id)
        .Text("subject", r.subject)
        .Text("service", r.service)
        .Int("date", r.date)
        .Int("is_from_me", r.is_from_me)
        .Int("is_system_message", r.is_system_message)
        .Int("hasAttachment", r.hasAttachment)
        .Print();
}

void Print(const Attachment_iOS6& r) {
    JsonLine("Attachment_iOS6")
        .Int("message_id", r.message_id)
        .Text("filename", r.filename)
        .Print();
}

void Print(const CallRecord& r) {
    JsonLine("CallRecord")
        .Int("rowid", r.rowid)
        .Text("address", r.address)
        .Int("date", r.date)
        .Int("duration", r.duration)
        .Int("flags", r.flags)
        .Int("reserved", r.reserved)
        .Int("deleted", r.deleted)
        .Print();
}

void Print(const CameraPhoto& r) {
    JsonLine("CameraPhoto")
        .Int("index", r.index)
        .Int("zkind", r.zkind)
        .Int("zsavedassettype", r.zsavedassettype)
        .Int("zoriginalwidth", r.zoriginalwidth)
        .Int("zoriginalheight", r.zoriginalheight)
        .Int("zthumbnailindex", r.zthumbnailindex)
        .Int("ZORIGINALFILESIZE", r.ZORIGINALFILESIZE)
        .Int("zdatecreated", r.zdatecreated)
        .Text("zdirectory", r.zdirectory)
        .Text("zfilename", r.zfilename)
        .Text("reservedText", r.reservedText)
        .Double("zduration", r.zduration)
        .Int("reserved", r.reserved)
        .Int("zoriginalorientation", r.zoriginalorientation)
        .Print();
}

void Print(const CalendarItem& r) {
    JsonLine("CalendarItem")
        .Int("rowid", r.rowid)
        .Text("summary", r.summary)
        .Text("description", r.description)
        .Int("start_date", r.start_date)
        .Int("end_date", r.end_date)
        .Text("url", r.url)
        .Int("birthday_id", r.birthday_id)
        .Int("due_date", r.due_date)
        .Int("has_recurrences", r.has_recurrences)
        .Int("completion_date", r.completion_date)
        .Int("entity_type", r.entity_type)
        .Int("creation_date", r.creation_date)
        .Text("title", r.title)
        .Text("location", r.location)
        .Int("freq", r.freq)
        .Int("interval", r.interval)
        .Int("end_repeat", r.end_repeat)
        .Int("reserved", r.reserved)
        .Print();
}

void Print(const NoteRecord& r) {
    JsonLine("NoteRecord")
        .Int("ZDELETEDFLAG", r.ZDELETEDFLAG)
        .Int("ZCREATIONDATE", r.ZCREATIONDATE)
        .Int("ZMODIFICATIONDATE", r.ZMODIFICATIONDATE)
        .Text("ZTITLE", r.ZTITLE)
        .Text("ZSUMMARY", r.ZSUMMARY)
        .Text("ZCONTENT", r.ZCONTENT)
        .Print();
}

void Print(const VoiceMemo& r) {
    JsonLine("VoiceMemo")
        .Int("reserved", r.reserved)
        .Int("ZDATE", r.ZDATE)
        .Int("ZDURATION", r.ZDURATION)
        .Text("ZCUSTOMLABEL", r.ZCUSTOMLABEL)
        .Text("ZPATH", r.ZPATH)
        .Print();
}

void Print(const BookMark& r) {
    JsonLine("BookMark")
        .Int("reserved", r.reserved)
        .Int("id", r.id)
        .Int("parent", r.parent)
        .Int("type", r.type)
        .Text("title", r.title)
        .Text("url", r.url)
        .Int("num_children", r.num_children)
        .Int("hidden", r.hidden)
        .Print();
}

template <typename Record>
void PrintList(const Record* head) {
    for (; head != nullptr; head = head->nextRecord) {
        Print(*head);
    }
}

// Several lists, one after the other.
template <typename... Records>
void PrintLists(const Records*... heads) {
    (PrintList(heads), ...);
}

void PrintContactImage(const unsigned char* image, std::int32_t length, std::int32_t recordId,
                       void*) {
    JsonLine("ContactImage")
        .Hex("image", image, length)
        .Int("length", length)
        .Int("record_id", recordId)
        .Print();
}

void PrintMadridAttachment(const char* guid, const char* fileName, std::int32_t kind, void*) {
    JsonLine("MadridAttachment")
        .NullableUtf8("attachment_guid", guid)
        .NullableUtf8("filename", fileName)
        .Int("kind", kind)
        .Print();
}

struct Paths {
    std::u16string first;
    std::optional<std::u16string> second;

    const char16_t* secondOrNull() const { return second ? second->c_str() : nullptr; }
};

// Contact lists read first so that message addresses carry names; they are not printed.
void ReadContactNames(const Paths& paths) {
    if (!paths.second) {
        return;
    }
    Person* persons = nullptr;
    MultiValue* values = nullptr;
    const int code = qvGetContactInfo(paths.second->c_str(), nullptr, &persons, &values, nullptr,
                                      nullptr, nullptr);
    if (code != DBQUARRY_OK) {
        std::fprintf(stderr, "dbquarry-dump: AddressBook not read (code %d)\n", code);
    }
}

int DumpContacts(const Paths& paths) {
    Person* persons = nullptr;
    MultiValue* values = nullptr;
    MultiValueEntry* entries = nullptr;
    const int code = qvGetContactInfo(paths.first.c_str(), nullptr, &persons, &values, &entries,
                                      nullptr, nullptr);
    PrintLists(persons, values, entries);
    return code;
}

// Every list of a message reader, contact names read first.
template <typename Correspondent, typename Message, typename Part>
struct MessageLists {
    Correspondent* correspondents = nullptr;
    Message* messages = nullptr;
    Part* parts = nullptr;
    int code = DBQUARRY_OK;
};

template <typename Correspondent, typename Message, typename Part>
MessageLists<Correspondent, Message, Part> ReadMessageLists(
    const Paths& paths, int (*read)(const char16_t*, std::int32_t*, Correspondent**, Message**,
                                    Part**, RecordCallback, void*)) {
    ReadContactNames(paths);
    MessageLists<Correspondent, Message, Part> lists;
    lists.code = read(paths.first.c_str(), nullptr, &lists.correspondents, &lists.messages,
                      &lists.parts, nullptr, nullptr);
    return lists;
}

int DumpMessages5(const Paths& paths) {
    const auto lists = ReadMessageLists(paths, qvGetMessage_iOS5);
    PrintLists(lists.correspondents, lists.messages, lists.parts);
    return lists.code;
}

int DumpMessages6(const Paths& paths) {
    const auto lists = ReadMessageLists(paths, qvGetMessage_iOS6);
    PrintLists(lists.correspondents, lists.parts, lists.messages);
    return lists.code;
}

// The live lists of the message database, then the carved records appended to them.
template <typename Correspondent, typename Message, typename Part>
int DumpDeletedMessages(const Paths& paths,
                        int (*read)(const char16_t*, std::int32_t*, Correspondent**, Message**,
                                    Part**, RecordCallback, void*),
                        void (*appendDeleted)(const char16_t*, const char16_t*, Message**,
                                              Correspondent**)) {
    Correspondent* correspondents = nullptr;
    Message* messages = nullptr;
    const int code =
        read(paths.second->c_str(), nullptr, &correspondents, &messages, nullptr, nullptr, nullptr);
    appendDeleted(paths.first.c_str(), paths.second->c_str(), &messages, &correspondents);
    PrintLists(correspondents, messages);
    return code;
}

// The live persons with their phones (the multi-values are read for those, not printed).
int DumpDeletedContacts(const Paths& paths) {
    Person* persons = nullptr;
    MultiValue* values = nullptr;
    const int code = qvGetContactInfo(paths.first.c_str(), nullptr, &persons, &values, nullptr,
                                      nullptr, nullptr);
    qvGetDeletedContacts(paths.first.c_str(), paths.secondOrNull(), &persons);
    PrintList(persons);
    return code;
}

int DumpDeletedCalls(const Paths& paths) {
    CallRecord* calls = nullptr;
    const int code = qvGetCallHistory(paths.second->c_str(), nullptr, &calls, nullptr, nullptr);
    qvGetDeleteCallHistory(paths.first.c_str(), paths.second->c_str(), &calls);
    PrintList(calls);
    return code;
}

// A reader with one list, in list mode.
template <typename Record, typename Read>
int DumpList(Read read) {
    Record* list = nullptr;
    const int code = read(&list);
    PrintList(list);
    return code;
}

// A one-table reader whose only counter is a row count.
template <typename Record>
std::function<int(const Paths&)> DumpTable(int (*read)(const char16_t*, std::int32_t*, Record**,
                                                       RecordCallback, void*)) {
    return [read](const Paths& p) {
        return DumpList<Record>(
            [&](Record** list) { return read(p.first.c_str(), nullptr, list, nullptr, nullptr); });
    };
}

enum class SecondPath { None, Optional, Required };

struct Kind {
    SecondPath second;
    std::function<int(const Paths&)> dump;
};

const std::map<std::string_view, Kind>& Kinds() {
    static const std::map<std::string_view, Kind> kinds = {
        {"contacts", {SecondPath::None, DumpContacts}},
        {"contact-images",
         {SecondPath::None,
          [](const Paths& p) {
              return qvGetContactImage(p.first.c_str(), PrintContactImage, nullptr);
          }}},
        {"messages-ios5", {SecondPath::Optional, DumpMessages5}},
        {"madrid-attachments-ios5",
         {SecondPath::None,
          [](const Paths& p) {
              return qvGetMadridAttachment_iOS5(p.first.c_str(), PrintMadridAttachment, nullptr);
          }}},
        {"messages-ios6", {SecondPath::Optional, DumpMessages6}},
        {"calls", {SecondPath::None, DumpTable(qvGetCallHistory)}},
        {"camera-photos",
         {SecondPath::None,
          [](const Paths& p) {
              return DumpList<CameraPhoto>([&](CameraPhoto** list) {
                  return qvGetCameraPhotos(p.first.c_str(), nullptr, nullptr, nullptr, list,
                                           nullptr, nullptr);
              });
          }}},
        {"calendar",
         {SecondPath::None,
          [](const Paths& p) {
              return DumpList<CalendarItem>([&](CalendarItem** list) {
                  return qvGetCalendarAndReminder(p.first.c_str(), nullptr, nullptr, list, nullptr,
                                                  nullptr);
              });
          }}},
        {"notes", {SecondPath::None, DumpTable(qvGetNotes)}},
        {"voice-memos", {SecondPath::None, DumpTable(qvGetVoiceMemos)}},
        {"bookmarks", {SecondPath::None, DumpTable(qvGetBookMarks)}},
        {"deleted-messages-ios5",
         {SecondPath::Required,
          [](const Paths& p) {
              return DumpDeletedMessages(p, qvGetMessage_iOS5, qvGetDeletedMsg_iOS5);
          }}},
        {"deleted-messages-ios6",
         {SecondPath::Required,
          [](const Paths& p) {
              return DumpDeletedMessages(p, qvGetMessage_iOS6, qvGetDeletedMsg_iOS6);
          }}},
        {"deleted-contacts", {SecondPath::Optional, DumpDeletedContacts}},
        {"deleted-calls", {SecondPath::Required, DumpDeletedCalls}},
    };
    return kinds;
}

void FreeEverything() {
    qvFreeMessage_iOS5();
    qvFreeMessage_iOS6();
    qvFreeContacts();
    qvFreeCameraPhotos();
    qvFreeCallHistory();
    qvFreeCalendarAndReminder();
    qvFreeNotes();
    qvFreeVoiceMemos();
    qvFreeBookMarks();
}

int Usage(const char* problem) {
    std::fprintf(stderr,
                 "dbquarry-dump: %s\n"
                 "usage: dbquarry-dump KIND PATH [SECOND_PATH]\n"
                 "KIND: contacts, contact-images, messages-ios5 [ADDRESSBOOK], "
                 "madrid-attachments-ios5,\n"
                 "      messages-ios6 [ADDRESSBOOK], calls, camera-photos, calendar, notes, "
                 "voice-memos, bookmarks,\n"
                 "      deleted-messages-ios5 ADDRESSBOOK SMSDB, deleted-messages-ios6 "
                 "ADDRESSBOOK SMSDB,\n"
                 "      deleted-contacts ADDRESSBOOK, deleted-calls ADDRESSBOOK CALLDB\n",
                 problem);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    // The user's locale, as a caller's program would run in: recovered text is in its charset.
    std::setlocale(LC_ALL, "");
    if (argc < 3 || argc > 4) {
        return Usage("wrong number of arguments");
    }
    const auto kind = Kinds().find(argv[1]);
    if (kind == Kinds().end()) {
        return Usage("unknown KIND");
    }
    const SecondPath second = kind->second.second;
    if ((second == SecondPath::None && argc == 4) ||
        (second == SecondPath::Required && argc == 3)) {
        return Usage(argc == 4 ? "this KIND takes one path" : "this KIND needs a second path");
    }
    Paths paths{PathToUtf16(std::filesystem::path(argv[2])), std::nullopt};
    if (argc == 4) {
        paths.second = PathToUtf16(std::filesystem::path(argv[3]));
    }
    const int code = kind->second.dump(paths);
    FreeEverything();
    std::printf("{\"code\": %d}\n", code);
    std::fflush(stdout);
    return code;
}
