#include "tools/dbfixtures/carvingrows.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "tools/dbfixtures/messagedb.h"

namespace pixhaven::dbfixtures::carving {
namespace {

namespace fs = std::filesystem;

constexpr int kScatteredDeletePercent = 18;
constexpr int kTwinPercent = 20;  // deleted rows that repeat what a live row prints

template <typename T, std::size_t N>
const T& PickFrom(Random& random, const std::array<T, N>& items) {
    return items[static_cast<std::size_t>(Uniform(random, 0, static_cast<int>(N) - 1))];
}

int RoundOf(int index, int count) {
    return std::min(kRounds - 1, index * kRounds / std::max(count, 1));
}

// Marks about one row in five deleted, scattered, and a few runs of neighbours deleted together
// (a conversation, a day of calls); a deleted row goes in its own round or a later one.
void PlanDeletions(std::vector<PlannedRow>& rows, Random& random) {
    const int count = static_cast<int>(rows.size());
    for (PlannedRow& row : rows) {
        if (Chance(random, kScatteredDeletePercent)) {
            row.deletedIn = Uniform(random, row.round, kRounds - 1);
        }
    }
    // About one row in eight goes in runs of a few dozen: whole pages go to the freelist.
    const int runs = std::max(1, count / 250);
    for (int run = 0; run < runs && count > 4; ++run) {
        const int length = Uniform(random, std::max(3, count / 200),
                                   std::max(3, std::min(count / 4, std::max(30, count / 60))));
        const int start = Uniform(random, 0, std::max(0, count - length));
        const int end = std::min(count, start + length);
        const int round =
            Uniform(random, rows[static_cast<std::size_t>(end - 1)].round, kRounds - 1);
        for (int i = start; i < end; ++i) {
            rows[static_cast<std::size_t>(i)].deletedIn = round;
            rows[static_cast<std::size_t>(i)].inRun = true;
        }
    }
}

// The rows of one table in the order they were written, each with its rowid, its statement, its
// round and whether it gets deleted; the caller gives each its content.
std::vector<PlannedRow> PlanTableRows(const CarvingScenario& scenario, const char* table,
                                      const char* insertSql, Random& random) {
    std::vector<PlannedRow> rows(static_cast<std::size_t>(scenario.rows));
    for (int i = 0; i < scenario.rows; ++i) {
        PlannedRow& row = rows[static_cast<std::size_t>(i)];
        row.round = RoundOf(i, scenario.rows);
        row.table = table;
        row.truth.rowid = scenario.firstRowid + i;
        row.insertSql = insertSql;
    }
    PlanDeletions(rows, random);
    return rows;
}

// A fresh contact, or for some deleted ones a copy of a live one (a deleted row equal to a live
// one); a live contact joins `live`.
template <typename Contact>
Contact FreshOrTwin(Contact fresh, bool deleted, std::vector<Contact>& live, Random& random) {
    if (deleted && !live.empty() && Chance(random, kTwinPercent)) {
        fresh =
            live[static_cast<std::size_t>(Uniform(random, 0, static_cast<int>(live.size()) - 1))];
    }
    if (!deleted) {
        live.push_back(fresh);
    }
    return fresh;
}

// An earlier live row for a deleted row to repeat, or -1.
int TwinSource(const std::vector<PlannedRow>& rows, std::size_t index, Random& random) {
    if (rows[index].deletedIn < 0 || !Chance(random, kTwinPercent)) {
        return -1;
    }
    std::vector<int> live;
    for (std::size_t i = 0; i < index; ++i) {
        if (rows[i].deletedIn < 0 && rows[i].reported && rows[i].table == rows[index].table) {
            live.push_back(static_cast<int>(i));
        }
    }
    return live.empty() ? -1
                        : live[static_cast<std::size_t>(
                              Uniform(random, 0, static_cast<int>(live.size()) - 1))];
}

// ---- what the rows hold ----

constexpr std::array<const char*, 22> kFirstNames = {
    "Anna", "Ben",   "Chloe", "David", "Emma",        "Felix",       "Grace", "Hugo",
    "Ines", "Jonas", "Kira",  "Liam",  "Mia",         "Noah",        "Olga",  "Paul",
    "Rosa", "Sven",  "Tara",  "Zoe",   "Jos\xC3\xA9", "S\xC3\xB8ren"};
constexpr std::array<const char*, 20> kLastNames = {
    "Adler", "Berg", "Costa",  "Dorn",   "Evans", "Fischer",    "Gray",
    "Hart",  "Ito",  "Jansen", "Keller", "Lund",  "Moreau",     "Novak",
    "Olsen", "Park", "Quinn",  "Rossi",  "Silva", "Wei\xC3\x9F"};

// clang-format off
constexpr std::array<const char*, 16> kReplies = {
    "Ok", "ok", "K", "Yes", "No", "Thanks!", "On my way", "Call me", "Sure", "Lol",
    "\xF0\x9F\x91\x8D", "See you", "Love you", "Np", "Ok!", "Where are you?"};
constexpr std::array<const char*, 56> kWords = {
    "ok", "see", "you", "at", "the", "station", "tonight", "thanks", "running", "late", "call",
    "me", "when", "free", "dinner", "is", "ready", "love", "it", "did", "get", "my", "message",
    "yes", "no", "maybe", "later", "meeting", "moved", "to", "3pm", "happy", "birthday", "where",
    "are", "we", "going", "picked", "up", "kids", "train", "delayed", "again", "lol", "sure",
    "sounds", "good", "tomorrow", "caf\xC3\xA9", "\xF0\x9F\x98\x80", "\xE5\xA5\xBD\xE7\x9A\x84",
    "\xD0\xB4\xD0\xB0", "a", "bit", "home", "soon"};
// clang-format on

// A text of a chat: many short replies, most a line, some long (up to `longest` bytes).
std::string ChatText(Random& random, std::size_t longest) {
    const int kind = Uniform(random, 0, 99);
    if (kind < 22) {
        return PickFrom(random, kReplies);
    }
    const int words = kind < 85 ? Uniform(random, 2, 14) : Uniform(random, 15, 400);
    std::string text;
    for (int i = 0; i < words; ++i) {
        const std::string word = PickFrom(random, kWords);
        if (!text.empty() && text.size() + 1 + word.size() > longest) {
            break;
        }
        text += (text.empty() ? "" : " ") + word;
    }
    if (text[0] >= 'a' && text[0] <= 'z') {
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    }
    return text;
}

std::size_t LongestText(const CarvingScenario& scenario) {
    // Long texts come near the page's limit for a cell; on small pages some spill over.
    return static_cast<std::size_t>(std::max(200, scenario.pageSize / 2 - 100));
}

// `value` in decimal, zero-padded to `count` digits.
std::string Digits(std::uint64_t value, std::size_t count) {
    std::string digits = std::to_string(value);
    digits.insert(0, count > digits.size() ? count - digits.size() : 0, '0');
    return digits;
}

// A North American number of person `index`, written in one of the ways devices store them.
std::string UsNumber(int index, int format) {
    const std::string local = Digits(static_cast<std::uint64_t>(index) * 7919 % 10'000'000, 7);
    const std::string exchange = local.substr(0, 3);
    const std::string line = local.substr(3);
    switch (format) {
        case 0:
            return "+1555" + local;
        case 1:
            return "(555) " + exchange + "-" + line;
        case 2:
            return "555-" + exchange + "-" + line;
        case 3:
            return "+1 555 " + exchange + " " + line;
        case 4:
            return "555" + local;
        default:
            return "+44 20 7946 " + line;
    }
}

std::string Email(int index) {
    std::string first = kFirstNames[static_cast<std::size_t>(index) % kFirstNames.size()];
    std::string last = kLastNames[static_cast<std::size_t>(index / 3) % kLastNames.size()];
    const auto ascii = [](std::string name) {
        std::string out;
        for (const char c : name) {
            if (static_cast<unsigned char>(c) < 0x80) {
                out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            }
        }
        return out;
    };
    return ascii(first) + "." + ascii(last) + std::to_string(index % 97) + "@example.com";
}

Value TextOrNull(const std::string& text) {
    return text.empty() ? Value(Null{}) : Value(text);
}

constexpr int kPeople = 40;          // people a phone's owner writes to, with names
constexpr int kCalledNumbers = 400;  // numbers in a call history

// ---- iOS: the AddressBook ----

struct Person {
    std::string first;
    std::string last;
    std::vector<std::pair<int, std::string>> values;  // (property: 3 phone, 4 email; value)
};

constexpr const char* kPersonInsert =
    "INSERT INTO ABPerson (ROWID, First, Last, Kind, FirstSort, LastSort, CreationDate, "
    "ModificationDate, StoreID, FirstSortSection, LastSortSection) "
    "VALUES (?1, ?2, ?3, 0, ?4, ?5, ?6, ?7, 0, ?8, ?9)";
constexpr const char* kMultiValueInsert =
    "INSERT INTO ABMultiValue (UID, record_id, property, identifier, label, value) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6)";

std::vector<Value> PersonValues(std::int64_t rowid, const Person& person, std::int64_t created) {
    const std::string shown = person.first.empty()  ? person.last
                              : person.last.empty() ? person.first
                                                    : person.first + " " + person.last;
    return {rowid,
            TextOrNull(person.first),
            TextOrNull(person.last),
            shown,
            person.last.empty() ? shown : person.last + " " + person.first,
            created,
            created + 86'400,
            shown.substr(0, 1),
            (person.last.empty() ? shown : person.last).substr(0, 1)};
}

Person RandomPerson(Random& random, int index) {
    Person person;
    const int kind = Uniform(random, 0, 99);
    person.first = kind < 95 ? PickFrom(random, kFirstNames) : "";
    person.last = kind < 85 || kind >= 95 ? PickFrom(random, kLastNames) : "";
    const int values = Chance(random, 55) ? 1 : Chance(random, 65) ? 2 : 3;
    for (int v = 0; v < values; ++v) {
        if (v > 0 && Chance(random, 30)) {
            person.values.emplace_back(4, Email(index * 3 + v));
        } else {
            person.values.emplace_back(3, UsNumber(index * 3 + v + 100, Uniform(random, 0, 5)));
        }
    }
    return person;
}

void AddLabels(Database& db) {
    db.Exec(
        "INSERT INTO ABMultiValueLabel (value) VALUES ('_$!<Mobile>!$_'), ('iPhone'), "
        "('_$!<Home>!$_'), ('_$!<Work>!$_'), ('_$!<Main>!$_');");
}

std::string OwnerName(const Person& person) {
    return person.last + person.first;  // as the recovered list writes it
}

std::vector<PlannedRow> PlanIosContacts(const CarvingScenario& scenario, Random& random) {
    std::vector<PlannedRow> rows;
    const int persons = std::max(4, scenario.rows / 2);
    std::vector<Person> livePeople;
    std::int64_t uid = scenario.firstRowid;
    for (int p = 0; p < persons; ++p) {
        const int round = RoundOf(p, persons);
        const bool deleted = Chance(random, 25);
        const Person person = FreshOrTwin(RandomPerson(random, p), deleted, livePeople, random);
        const std::int64_t rowid = scenario.firstRowid + p;
        PlannedRow personRow;
        personRow.table = "ABPerson";
        personRow.insertSql = kPersonInsert;
        personRow.values =
            PersonValues(rowid, person, 320'000'000 + p * 3607 + Uniform(random, 0, 3000));
        personRow.round = round;
        personRow.deletedIn = deleted ? Uniform(random, round, kRounds - 1) : -1;
        personRow.reported = false;
        personRow.truth.rowid = rowid;
        const int personIndex = static_cast<int>(rows.size());
        rows.push_back(personRow);
        for (std::size_t v = 0; v < person.values.size(); ++v) {
            PlannedRow value;
            value.table = "ABMultiValue";
            value.insertSql = kMultiValueInsert;
            value.values = {uid,
                            rowid,
                            std::int64_t{person.values[v].first},
                            static_cast<std::int64_t>(v),
                            std::int64_t{Uniform(random, 1, 5)},
                            person.values[v].second};
            value.round = round;
            // A number removed from a live contact, or the whole contact deleted.
            value.deletedIn = deleted             ? personRow.deletedIn
                              : Chance(random, 8) ? Uniform(random, round, kRounds - 1)
                                                  : -1;
            value.ownerRow = personIndex;
            value.truth.rowid = uid++;
            value.truth.fields = {person.values[v].second};
            value.truth.owner = OwnerName(person);
            rows.push_back(value);
        }
    }
    return rows;
}

// ---- iOS: messages and calls ----

struct Chat {
    std::string address;  // "" for an iMessage, whose address is in madrid_handle
    std::string handle;
    std::string text;  // "" for a picture message
};

Chat RandomIos5Chat(Random& random, std::size_t longest) {
    Chat chat;
    const int kind = Uniform(random, 0, 99);
    const int person = Uniform(random, 0, kPeople * 3 / 2);
    if (kind < 70) {
        chat.address = UsNumber(person, Chance(random, 85) ? 0 : 4);
    } else if (kind < 75) {
        chat.address = Chance(random, 50) ? "22395" : "46645";  // short codes
    } else if (kind < 95) {
        chat.handle = Chance(random, 50) ? UsNumber(person, 0) : Email(person);
    } else {
        chat.address = UsNumber(person, 0);
    }
    chat.text = kind >= 95 ? "" : ChatText(random, longest);
    return chat;
}

std::vector<Value> Ios5MessageValues(std::int64_t rowid, const Chat& chat, int index,
                                     Random& random) {
    const bool fromMe = Chance(random, 45);
    const std::int64_t date = 1'320'000'000 + std::int64_t{index} * 517 + Uniform(random, 0, 500);
    if (chat.address.empty()) {  // iMessage
        return {rowid,
                Null{},
                date,
                TextOrNull(chat.text),
                std::int64_t{fromMe ? 36869 : 12289},
                std::int64_t{Uniform(random, 1, 60)},
                Null{},
                Blob{AttributedBody(chat.text)},
                chat.handle,
                RandomGuid(random),
                std::string("iMessage"),
                std::string("e:owner@example.com"),
                RandomGuid(random),
                std::int64_t{fromMe ? 12385 : 45061},
                std::int64_t{1},
                date - 978'307'200 + Uniform(random, 0, 900),
                date - 978'307'200 + 2};
    }
    return {rowid,
            chat.address,
            date,
            TextOrNull(chat.text),
            std::int64_t{fromMe ? 3 : 2},
            std::int64_t{Uniform(random, 1, 60)},
            std::string("us"),
            Null{},
            Null{},
            Null{},
            Null{},
            Null{},
            Null{},
            std::int64_t{0},
            std::int64_t{0},
            Null{},
            Null{}};
}

constexpr const char* kIos5Insert =
    "INSERT INTO message (ROWID, address, date, text, flags, replace, svc_center, group_id, "
    "association_id, height, UIFlags, version, subject, country, headers, recipients, read, "
    "madrid_attributedBody, madrid_handle, madrid_version, madrid_guid, madrid_type, "
    "madrid_service, madrid_account, madrid_account_guid, madrid_flags, madrid_error, is_madrid, "
    "madrid_date_read, madrid_date_delivered) "
    "VALUES (?1, ?2, ?3, ?4, ?5, 0, NULL, ?6, 0, 0, 0, 0, NULL, ?7, NULL, NULL, 1, ?8, ?9, 10, "
    "?10, "
    "0, ?11, ?12, ?13, ?14, 0, ?15, ?16, ?17)";

std::vector<PlannedRow> PlanIos5Messages(const CarvingScenario& scenario, Random& random) {
    std::vector<PlannedRow> rows = PlanTableRows(scenario, "message", kIos5Insert, random);
    std::vector<Chat> chats;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        PlannedRow& row = rows[i];
        const int twin = TwinSource(rows, i, random);
        Chat chat = twin >= 0 ? chats[static_cast<std::size_t>(twin)]
                              : RandomIos5Chat(random, LongestText(scenario));
        chats.push_back(chat);
        row.values = Ios5MessageValues(row.truth.rowid, chat, static_cast<int>(i), random);
        row.truth.fields = {chat.address, chat.text};
    }
    return rows;
}

constexpr const char* kIos6Insert =
    "INSERT INTO message (ROWID, guid, text, replace, handle_id, country, attributedBody, version, "
    "service, account, account_guid, date, date_read, date_delivered, is_delivered, is_finished, "
    "is_from_me, is_read, is_sent, has_dd_results, was_data_detected) "
    "VALUES (?1, ?2, ?3, 0, ?4, ?5, ?6, 10, ?7, ?8, ?9, ?10, ?11, ?12, ?13, 1, ?14, ?15, ?14, ?16, "
    "1)";

std::vector<PlannedRow> PlanIos6Messages(const CarvingScenario& scenario, Random& random) {
    std::vector<PlannedRow> rows = PlanTableRows(scenario, "message", kIos6Insert, random);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        PlannedRow& row = rows[i];
        const int twin = TwinSource(rows, i, random);
        // An attachment alone is sent as the object replacement character.
        const std::string text = twin >= 0           ? texts[static_cast<std::size_t>(twin)]
                                 : Chance(random, 4) ? std::string("\xEF\xBF\xBC")
                                                     : ChatText(random, LongestText(scenario));
        texts.push_back(text);
        const bool fromMe = Chance(random, 45);
        const bool imessage = Chance(random, 40);
        const std::int64_t date =
            370'000'000 + static_cast<std::int64_t>(i) * 431 + Uniform(random, 0, 400);
        row.values = {row.truth.rowid,
                      RandomGuid(random),
                      text,
                      std::int64_t{Uniform(random, 1, kPeople)},
                      imessage ? Value(Null{}) : Value(std::string("us")),
                      Blob{AttributedBody(text)},
                      std::string(imessage ? "iMessage" : "SMS"),
                      std::string(imessage ? "e:owner@example.com" : "p:+15555550100"),
                      std::string("A8B5D1E2-3C4F-4A6B-9D8E-7F6A5B4C3D2E"),
                      date,
                      fromMe ? std::int64_t{0} : date + Uniform(random, 5, 3600),
                      fromMe && imessage ? date + 2 : std::int64_t{0},
                      std::int64_t{fromMe ? 1 : 0},
                      std::int64_t{fromMe ? 1 : 0},
                      std::int64_t{fromMe ? 0 : 1},
                      std::int64_t{Chance(random, 10) ? 1 : 0}};
        row.truth.fields = {text};
    }
    return rows;
}

constexpr const char* kCallInsert =
    "INSERT INTO call (ROWID, address, date, duration, flags, id, name, country_code, "
    "network_code, read, assisted, face_time_data, originalAddress) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, NULL, '310', '410', 1, ?7, NULL, ?2)";

std::vector<PlannedRow> PlanIosCalls(const CarvingScenario& scenario, Random& random) {
    std::vector<PlannedRow> rows = PlanTableRows(scenario, "call", kCallInsert, random);
    std::vector<std::pair<std::string, std::int64_t>> calls;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        PlannedRow& row = rows[i];
        const int twin = TwinSource(rows, i, random);
        std::pair<std::string, std::int64_t> call;
        if (twin >= 0) {
            call = calls[static_cast<std::size_t>(twin)];
        } else {
            // A few people are called again and again, the rest now and then.
            const int person =
                Chance(random, 30) ? Uniform(random, 0, 5) : Uniform(random, 0, kCalledNumbers);
            const int kind = Uniform(random, 0, 99);
            call.first = kind < 75   ? UsNumber(person, 0)
                         : kind < 85 ? UsNumber(person, 4)
                         : kind < 95 ? UsNumber(person, 5)
                                     : std::string(Chance(random, 50) ? "*86" : "611");
            call.second = Chance(random, 50) ? 4 : 5;
        }
        calls.push_back(call);
        const bool missed = call.second == 4 && Chance(random, 20);
        row.values = {row.truth.rowid,
                      call.first,
                      std::int64_t{1'320'000'000} + static_cast<std::int64_t>(i) * 3001 +
                          Uniform(random, 0, 3000),
                      std::int64_t{missed ? 0 : Uniform(random, 3, 5400)},
                      call.second,
                      std::int64_t{Chance(random, 40) ? Uniform(random, 1, kPeople) : -1},
                      std::int64_t{Chance(random, 30) ? 1 : 0}};
        row.truth.fields = {call.first, std::to_string(call.second)};
    }
    return rows;
}

// ---- Android ----

constexpr std::int64_t kMimeEmail = 1;
constexpr std::int64_t kMimePhone = 5;
constexpr std::int64_t kMimeName = 7;
constexpr std::int64_t kMimePhoto = 10;

// A Chinese mobile number of person `index`, in one of the ways contacts and messages store it.
std::string CnNumber(int index, int format) {
    const std::string digits =
        "138" + Digits(static_cast<std::uint64_t>(index) * 104'729 % 100'000'000, 8);
    switch (format) {
        case 0:
            return digits;
        case 1:
            return "+86" + digits;
        case 2:
            return digits.substr(0, 3) + " " + digits.substr(3, 4) + " " + digits.substr(7);
        case 3:
            return "010-" + digits.substr(3, 8);
        default:
            return index % 2 == 0 ? "10086" : "95588";  // service numbers
    }
}

void AddMimetypes(Database& db) {
    db.Exec(
        "INSERT INTO mimetypes (_id, mimetype) VALUES "
        "(1, 'vnd.android.cursor.item/email_v2'), (2, 'vnd.android.cursor.item/im'), "
        "(3, 'vnd.android.cursor.item/nickname'), (4, 'vnd.android.cursor.item/organization'), "
        "(5, 'vnd.android.cursor.item/phone_v2'), (6, 'vnd.android.cursor.item/sip_address'), "
        "(7, 'vnd.android.cursor.item/name'), (8, 'vnd.android.cursor.item/postal-address_v2'), "
        "(9, 'vnd.android.cursor.item/identity'), (10, 'vnd.android.cursor.item/photo'), "
        "(11, 'vnd.android.cursor.item/group_membership');");
}

constexpr const char* kDataInsert =
    "INSERT INTO data (_id, package_id, mimetype_id, raw_contact_id, is_read_only, is_primary, "
    "is_super_primary, data_version, data1, data2, data3, data4, data15) "
    "VALUES (?1, NULL, ?2, ?3, 0, ?4, ?4, ?5, ?6, ?7, ?8, ?9, ?10)";

struct AndroidContact {
    std::string given;
    std::string family;
    std::vector<std::pair<std::int64_t, std::string>> values;  // (mimetype, data1)
    bool photo = false;
};

std::string DisplayName(const AndroidContact& contact) {
    return contact.given + " " + contact.family;
}

AndroidContact RandomAndroidContact(Random& random, int index) {
    AndroidContact contact;
    contact.given = PickFrom(random, kFirstNames);
    contact.family = PickFrom(random, kLastNames);
    const int phones = Chance(random, 8) ? 0 : Chance(random, 70) ? 1 : 2;
    for (int p = 0; p < phones; ++p) {
        contact.values.emplace_back(kMimePhone, CnNumber(index * 2 + p, Uniform(random, 0, 3)));
    }
    if (phones == 0 || Chance(random, 25)) {
        contact.values.emplace_back(kMimeEmail, Email(index));
    }
    contact.photo = Chance(random, 20);
    return contact;
}

std::string PhotoBytes(Random& random) {
    std::string bytes = "\xFF\xD8\xFF\xE0";
    const int size = Uniform(random, 150, 500);
    for (int i = 0; i < size; ++i) {
        bytes += static_cast<char>(Uniform(random, 0, 255));
    }
    return bytes;
}

// The data rows of one raw contact: its name row first, then its numbers and addresses, then
// its photo.
void PlanAndroidContact(std::vector<PlannedRow>& rows, const AndroidContact& contact,
                        std::int64_t rawContactId, std::int64_t& id, int round, int deletedIn,
                        Random& random) {
    const auto add = [&](std::int64_t mimetype, Value data1, Value data2, Value data3, Value data4,
                         Value data15, int rowDeletedIn) {
        PlannedRow row;
        row.table = "data";
        row.insertSql = kDataInsert;
        row.values = {id,
                      mimetype,
                      rawContactId,
                      std::int64_t{Chance(random, 30) ? 1 : 0},
                      std::int64_t{Uniform(random, 0, 6)},
                      std::move(data1),
                      std::move(data2),
                      std::move(data3),
                      std::move(data4),
                      std::move(data15)};
        row.round = round;
        row.deletedIn = rowDeletedIn;
        row.truth.rowid = id++;
        row.truth.group = rawContactId;
        rows.push_back(std::move(row));
        return &rows.back();
    };
    const std::string display = DisplayName(contact);
    const int nameIndex = static_cast<int>(rows.size());
    PlannedRow* name =
        add(kMimeName, display, contact.given, contact.family, Null{}, Null{}, deletedIn);
    name->truth.role = TruthRow::Role::Name;
    name->truth.fields = {display};
    name->truth.owner = display;
    for (const auto& [mimetype, data1] : contact.values) {
        const int alone =
            deletedIn < 0 && Chance(random, 8) ? Uniform(random, round, kRounds - 1) : -1;
        PlannedRow* value =
            add(mimetype, data1, std::string(mimetype == kMimePhone ? "2" : "1"), Null{},
                mimetype == kMimePhone ? Value("+86" + data1) : Value(Null{}), Null{},
                deletedIn >= 0 ? deletedIn : alone);
        value->ownerRow = nameIndex;
        value->truth.fields = {data1};
        value->truth.owner = display;
    }
    if (contact.photo) {
        PlannedRow* photo =
            add(kMimePhoto, Null{}, Null{}, Null{}, Null{}, Blob{PhotoBytes(random)}, deletedIn);
        photo->reported = false;
    }
}

std::vector<PlannedRow> PlanAndroidContacts(const CarvingScenario& scenario, Random& random) {
    std::vector<PlannedRow> rows;
    const int contacts = std::max(4, scenario.rows / 3);
    std::vector<AndroidContact> liveContacts;
    std::int64_t id = scenario.firstRowid;
    for (int c = 0; c < contacts; ++c) {
        const int round = RoundOf(c, contacts);
        const bool deleted = Chance(random, 25);
        const AndroidContact contact =
            FreshOrTwin(RandomAndroidContact(random, c), deleted, liveContacts, random);
        PlanAndroidContact(rows, contact, c + 1, id, round,
                           deleted ? Uniform(random, round, kRounds - 1) : -1, random);
    }
    return rows;
}

constexpr const char* kSmsInsert =
    "INSERT INTO sms (_id, thread_id, address, person, date, date_sent, protocol, read, status, "
    "type, reply_path_present, subject, body, service_center, locked, error_code, seen) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, 1, -1, ?8, ?7, NULL, ?9, ?10, 0, 0, 1)";

std::vector<PlannedRow> PlanAndroidMessages(const CarvingScenario& scenario, Random& random) {
    std::vector<PlannedRow> rows = PlanTableRows(scenario, "sms", kSmsInsert, random);
    std::vector<std::pair<std::string, std::string>> messages;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        PlannedRow& row = rows[i];
        const int twin = TwinSource(rows, i, random);
        const int person = Uniform(random, 0, kPeople * 3 / 2);
        std::pair<std::string, std::string> message =
            twin >= 0 ? messages[static_cast<std::size_t>(twin)]
                      : std::pair{CnNumber(person, Chance(random, 70)   ? 1
                                                   : Chance(random, 70) ? 0
                                                                        : 4),
                                  ChatText(random, LongestText(scenario))};
        messages.push_back(message);
        const bool sent = Chance(random, 45);
        const std::int64_t date = 1'365'000'000'000 + static_cast<std::int64_t>(i) * 611'000 +
                                  Uniform(random, 0, 600'000);
        row.values = {row.truth.rowid,
                      std::int64_t{person % 50 + 1},
                      message.first,
                      person < kPeople && Chance(random, 50) ? Value(std::int64_t{person + 1})
                                                             : Value(Null{}),
                      date,
                      sent ? std::int64_t{0} : date - Uniform(random, 1000, 90'000),
                      sent ? Value(Null{}) : Value(std::int64_t{0}),
                      std::int64_t{sent ? 2 : 1},
                      message.second,
                      sent ? Value(Null{}) : Value(std::string("+8613800100500"))};
        row.truth.fields = {message.first, message.second};
    }
    return rows;
}

}  // namespace

// The AddressBook beside the message and call databases: the people the phone talks to, half of
// their numbers written as the message and call databases write addresses, half formatted.
void WriteNamesAddressBook(const fs::path& path, Random& random) {
    Database db = CreateFromSchema(path, "addressbook.sql", 4096);
    db.Exec("BEGIN");
    AddLabels(db);
    std::int64_t uid = 1;
    for (int i = 0; i < kPeople; ++i) {
        Person person;
        person.first = PickFrom(random, kFirstNames);
        person.last = PickFrom(random, kLastNames);
        person.values.emplace_back(3, UsNumber(i, i % 2 == 0 ? 0 : 1));
        db.Run(kPersonInsert, PersonValues(i + 1, person, 300'000'000 + i * 977));
        db.Run(kMultiValueInsert, {uid++, std::int64_t{i + 1}, std::int64_t{3}, std::int64_t{0},
                                   std::int64_t{1}, person.values[0].second});
    }
    db.Exec("COMMIT");
}

// The contacts2.db beside mmssms.db: the people the phone writes to.
void WriteNamesContacts(const fs::path& path, Random& random) {
    Database db = CreateFromSchema(path, "android-contacts2.sql", 4096);
    db.Exec("BEGIN");
    AddMimetypes(db);
    std::vector<PlannedRow> rows;
    std::int64_t id = 1;
    for (int c = 0; c < kPeople; ++c) {
        AndroidContact contact;
        contact.given = PickFrom(random, kFirstNames);
        contact.family = PickFrom(random, kLastNames);
        contact.values.emplace_back(kMimePhone, CnNumber(c, c % 3 == 0 ? 2 : 0));
        PlanAndroidContact(rows, contact, c + 1, id, 0, -1, random);
    }
    for (const PlannedRow& row : rows) {
        db.Run(row.insertSql, row.values);
    }
    db.Exec("COMMIT");
}

std::vector<PlannedRow> PlanRows(CarvingMode mode, const CarvingScenario& scenario,
                                 Random& random) {
    using Planner = std::vector<PlannedRow> (*)(const CarvingScenario&, Random&);
    // In the order of CarvingMode; both iOS 5 layouts hold the same rows.
    static constexpr std::array<Planner, kCarvingModes.size()> kPlanners = {
        PlanIosContacts, PlanIos5Messages,    PlanIos5Messages,   PlanIos6Messages,
        PlanIosCalls,    PlanAndroidContacts, PlanAndroidMessages};
    return kPlanners[static_cast<std::size_t>(mode)](scenario, random);
}

// Rows of other tables the carved database holds on a device.
void WriteCompanions(CarvingMode mode, Database& db) {
    if (mode == CarvingMode::IosContacts) {
        AddLabels(db);
    } else if (mode == CarvingMode::AndroidContacts) {
        AddMimetypes(db);
    } else if (mode == CarvingMode::Ios6Messages) {
        for (int i = 0; i < kPeople; ++i) {
            db.Run("INSERT INTO handle (id, country, service) VALUES (?1, 'us', ?2)",
                   {UsNumber(i, 0), std::string(i % 3 == 0 ? "iMessage" : "SMS")});
        }
    }
}

}  // namespace pixhaven::dbfixtures::carving
