// The AddressBook readers: persons with their first phone number and group names, the multi-value
// rows and entries, and the contact thumbnails.
#include <cstdint>
#include <ctime>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dbquarry/reader.h"

namespace dbquarry {
namespace {

constexpr const char* kCountPersons = "select count(*) from ABPerson";
constexpr const char* kMemberships =
    "select gm.member_id, g.name from ABGroupMembers gm, ABGroup g where g.ROWID=gm.group_id";
constexpr const char* kMultiValues =
    "select \t\t\t\t\t\t   m.uid,\t\t\t\t\t\t   m.record_id,\t\t\t\t\t\t   m.property,"
    "\t\t\t\t\t\t   m.identifier,\t\t\t\t\t\t   m.value,\t\t\t\t\t\t   case "
    "\t\t\t\t\t\t   when m.label in (select rowid from ABMultiValueLabel) "
    "\t\t\t\t\t\t   then (select value from ABMultiValueLabel where m.label=rowid) "
    "\t\t\t\t\t\t   else m.label \t\t\t\t\t\t   end as label "
    "\t\t\t\t\t\t   from ABMultiValue m";
constexpr const char* kEntries =
    "select \t\t\t\t\t\t   e.parent_id,\t\t\t\t\t\t   e.value,\t\t\t\t\t\t   ek.value as key "
    "\t\t\t\t\t\t   from ABMultiValueEntry e,ABMultiValueEntryKey ek "
    "\t\t\t\t\t\t   where e.key=ek.rowid";
constexpr const char* kPersons =
    "select \t\t\t\t\t\t   p.rowid,\t\t\t\t\t\t   p.first,\t\t\t\t\t\t   p.last,"
    "\t\t\t\t\t\t   p.middle,\t\t\t\t\t\t   p.organization,\t\t\t\t\t\t   p.department,"
    "\t\t\t\t\t\t   p.note,\t\t\t\t\t\t   p.birthday,\t\t\t\t\t\t   p.jobtitle,"
    "\t\t\t\t\t\t   p.nickname,\t\t\t\t\t\t   p.creationdate,"
    "\t\t\t\t\t\t   p.modificationdate,\t\t\t\t\t\t   p.ispreferredname "
    "\t\t\t\t\t\t   from ABPerson p ";
constexpr const char* kThumbnails = "select record_id,data from ABThumbnailImage where format=0";

// Seconds between 1970-01-01 and 2001-01-01, the AddressBook's reference date.
constexpr std::int64_t kReferenceDate = 978307200;
constexpr std::size_t kBirthdayUnits = 20;

using Membership = std::pair<std::int32_t, std::u16string>;

std::vector<Membership> ReadMemberships(sqlite3* db) {
    std::vector<Membership> memberships;
    Statement statement(db, kMemberships);
    while (statement.Step()) {
        memberships.emplace_back(statement.Int(0), statement.Utf16(1));
    }
    return memberships;
}

// Leading blanks, an optional sign, then decimal digits up to the first other character (a
// fraction is ignored); out-of-range values saturate. No digits at all gives nothing.
std::optional<std::int64_t> ParseLeadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size() || text[i] < '0' || text[i] > '9') {
        return std::nullopt;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (kMax - digit) / 10) {
            return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

// The birthday (seconds since 2001 as text) as the local date "%m-%d-%Y"; null when it is not a
// time after 1970-01-01 00:00:00 UTC.
char16_t* BirthdayText(Arena& arena, std::string_view stored) {
    const std::optional<std::int64_t> seconds = ParseLeadingInteger(stored);
    std::int64_t unixTime = 0;
    if (!seconds || __builtin_add_overflow(*seconds, kReferenceDate, &unixTime) || unixTime <= 0) {
        return nullptr;
    }
    const auto time = static_cast<std::time_t>(unixTime);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return nullptr;
    }
    char date[kBirthdayUnits] = {};
    const std::size_t length = std::strftime(date, sizeof date, "%m-%d-%Y", &local);
    if (length == 0) {
        return nullptr;
    }
    char16_t* wide = arena.NewArray<char16_t>(kBirthdayUnits);
    for (std::size_t i = 0; i < length; ++i) {
        wide[i] = static_cast<unsigned char>(date[i]);
    }
    return wide;
}

// The names of the person's groups, each followed by ";"; null when in none.
char16_t* GroupsOf(Arena& arena, std::int32_t rowid, const std::vector<Membership>& memberships) {
    std::u16string groups;
    for (const auto& [memberId, name] : memberships) {
        if (memberId == rowid) {
            groups += name;
            groups += u';';
        }
    }
    return groups.empty() ? nullptr : CopyText(arena, groups);
}

// The first phone number (property 3) of the person among the multi-values of this call.
char16_t* PhoneOf(Arena& arena, std::int32_t rowid, const MultiValue* multiValues) {
    for (const MultiValue* value = multiValues; value != nullptr; value = value->nextRecord) {
        if (value->property == 3 && value->record_id == rowid && value->value != nullptr) {
            return CopyText(arena, value->value);
        }
    }
    return nullptr;
}

void FillMultiValue(MultiValue& record, const Statement& row) {
    ReadColumns(row, 0, record.uid, record.record_id, record.property, record.identifier,
                record.value, record.label);
}

void FillEntry(MultiValueEntry& record, const Statement& row) {
    ReadColumns(row, 0, record.parent_id, record.value, record.key);
}

void FillPerson(Person& record, const Statement& row, const std::vector<Membership>& memberships,
                const MultiValue* multiValues) {
    ReadColumns(row, 0, record.rowid, record.first, record.last, record.middle, record.organization,
                record.department, record.note);
    if (!row.IsNull(7)) {
        record.birthday = BirthdayText(row.arena(), row.Utf8(7));
    }
    ReadColumns(row, 8, record.jobtitle, record.nickname, record.creationdate,
                record.modificationdate, record.ispreferredname);
    record.groups = GroupsOf(row.arena(), record.rowid, memberships);
    record.phone = PhoneOf(row.arena(), record.rowid, multiValues);
}

// Reads one optional list of the contact reader: 0 when handed out, else the reader's code.
template <typename Record, typename Fill>
int ReadContactList(sqlite3* db, const char* sql, Record** out, Slot<Record>& slot, Fill fill,
                    RecordCallback callback, void* userData) {
    return ReadList(db, sql, out, slot, fill, callback, userData, DBQUARRY_PREPARE_FAILED);
}

int ReadContactInfo(sqlite3* db, std::int32_t* personCount, Person** persons,
                    MultiValue** multiValues, MultiValueEntry** entries, RecordCallback callback,
                    void* userData) {
    if (personCount != nullptr && !ReadCount(db, kCountPersons, personCount)) {
        return DBQUARRY_PREPARE_FAILED;
    }
    const std::vector<Membership> memberships = ReadMemberships(db);
    int result = DBQUARRY_OK;
    const MultiValue* phones = nullptr;
    if (multiValues != nullptr) {
        const int code = ReadContactList(db, kMultiValues, multiValues, Lists().multiValues,
                                         FillMultiValue, nullptr, nullptr);
        if (code == DBQUARRY_OUT_OF_MEMORY) {
            return code;
        }
        if (code == DBQUARRY_OK) {
            phones = *multiValues;
        } else {
            result = code;
        }
    }
    if (entries != nullptr) {
        const int code =
            ReadContactList(db, kEntries, entries, Lists().entries, FillEntry, nullptr, nullptr);
        if (code == DBQUARRY_OUT_OF_MEMORY) {
            return code;
        }
        if (code != DBQUARRY_OK) {
            result = code;
        }
    }
    if (persons != nullptr) {
        const auto fill = [&](Person& record, const Statement& row) {
            FillPerson(record, row, memberships, phones);
        };
        const int code =
            ReadContactList(db, kPersons, persons, Lists().persons, fill, callback, userData);
        if (code != DBQUARRY_OK) {
            return code;
        }
    }
    return result;
}

int ReadContactImages(sqlite3* db, ContactImageCallback callback, void* userData) {
    return VisitRows(db, kThumbnails, [&](const Statement& row) {
        const std::string_view image = row.Bytes(1);
        if (callback != nullptr && !image.empty()) {
            callback(reinterpret_cast<const unsigned char*>(image.data()),
                     static_cast<std::int32_t>(image.size()), row.Int(0), userData);
        }
    });
}

}  // namespace
}  // namespace dbquarry

int qvGetContactInfo(const char16_t* path, int32_t* personCount, Person** persons,
                     MultiValue** multiValues, MultiValueEntry** entries, RecordCallback callback,
                     void* userData) {
    return dbquarry::WithDatabase(path, [&](sqlite3* db) {
        return dbquarry::ReadContactInfo(db, personCount, persons, multiValues, entries, callback,
                                         userData);
    });
}

int qvGetContactImage(const char16_t* path, ContactImageCallback callback, void* userData) {
    return dbquarry::WithDatabase(
        path, [&](sqlite3* db) { return dbquarry::ReadContactImages(db, callback, userData); });
}
