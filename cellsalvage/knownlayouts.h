// The layouts of the carved tables as devices write them, for a database whose own schema cannot
// be read: `name TYPE` per column, the first an INTEGER PRIMARY KEY.
#pragma once

namespace cellsalvage::layouts {

// ABPerson
inline constexpr const char* kAddressBookPerson =
    "ROWID INTEGER, First TEXT, Last TEXT, Middle TEXT, FirstPhonetic TEXT, MiddlePhonetic "
    "TEXT, LastPhonetic TEXT, Organization TEXT, Department TEXT, Note TEXT, Kind INTEGER, "
    "Birthday TEXT, JobTitle TEXT, Nickname TEXT, Prefix TEXT, Suffix TEXT, FirstSort TEXT, "
    "LastSort TEXT, CreationDate INTEGER, ModificationDate INTEGER, CompositeNameFallback "
    "TEXT, ExternalIdentifier TEXT, ExternalModificationTag TEXT, ExternalUUID TEXT, StoreID "
    "INTEGER, DisplayName TEXT, ExternalRepresentation BLOB, FirstSortSection TEXT, "
    "LastSortSection TEXT, FirstSortLanguageIndex INTEGER, LastSortLanguageIndex INTEGER, "
    "PersonLink INTEGER, ImageURI TEXT, IsPreferredName INTEGER";

// ABMultiValue
inline constexpr const char* kAddressBookMultiValue =
    "UID INTEGER, record_id INTEGER, property INTEGER, identifier INTEGER, label INTEGER, "
    "value TEXT";

// message
inline constexpr const char* kIos5Message =
    "ROWID INTEGER, address TEXT, date INTEGER, text TEXT, flags INTEGER, replace INTEGER, "
    "svc_center TEXT, group_id INTEGER, association_id INTEGER, height INTEGER, UIFlags "
    "INTEGER, version INTEGER, subject TEXT, country TEXT, headers BLOB, recipients BLOB, "
    "read INTEGER, madrid_attributedBody BLOB, madrid_handle TEXT, madrid_version INTEGER, "
    "madrid_guid TEXT, madrid_type INTEGER, madrid_roomname TEXT, madrid_service TEXT, "
    "madrid_account TEXT, madrid_flags INTEGER, madrid_attachmentInfo BLOB, madrid_url TEXT, "
    "madrid_error INTEGER, is_madrid INTEGER, madrid_date_read INTEGER, madrid_date_delivered "
    "INTEGER, madrid_account_guid TEXT";

// message
inline constexpr const char* kIos6Message =
    "ROWID INTEGER, guid TEXT, text TEXT, replace INTEGER, service_center TEXT, handle_id "
    "INTEGER, subject TEXT, country TEXT, attributedBody BLOB, version INTEGER, type INTEGER, "
    "service TEXT, account TEXT, account_guid TEXT, error INTEGER, date INTEGER, date_read "
    "INTEGER, date_delivered INTEGER, is_delivered INTEGER, is_finished INTEGER, is_emote "
    "INTEGER, is_from_me INTEGER, is_empty INTEGER, is_delayed INTEGER, is_auto_reply "
    "INTEGER, is_prepared INTEGER, is_read INTEGER, is_system_message INTEGER, is_sent "
    "INTEGER, has_dd_results INTEGER, is_service_message INTEGER, is_forward INTEGER, "
    "was_downgraded INTEGER, is_archive INTEGER, cache_has_attachments INTEGER, "
    "cache_roomnames TEXT, was_data_detected INTEGER, was_deduplicated INTEGER";

// call
inline constexpr const char* kCall =
    "ROWID INTEGER, address TEXT, date INTEGER, duration INTEGER, flags INTEGER, id INTEGER, "
    "name TEXT, country_code TEXT, network_code TEXT, read INTEGER, assisted INTEGER, "
    "face_time_data BLOB, originalAddress TEXT";

// data
inline constexpr const char* kAndroidData =
    "_id INTEGER, package_id INTEGER, mimetype_id INTEGER, raw_contact_id INTEGER, "
    "is_read_only INTEGER, is_primary INTEGER, is_super_primary INTEGER, data_version "
    "INTEGER, data1 TEXT, data2 TEXT, data3 TEXT, data4 TEXT, data5 TEXT, data6 TEXT, data7 "
    "TEXT, data8 TEXT, data9 TEXT, data10 TEXT, data11 TEXT, data12 TEXT, data13 TEXT, data14 "
    "TEXT, data15 TEXT, data_sync1 TEXT, data_sync2 TEXT, data_sync3 TEXT, data_sync4 TEXT";

// sms
inline constexpr const char* kAndroidSms =
    "_id INTEGER, thread_id INTEGER, address TEXT, person INTEGER, date INTEGER, date_sent "
    "INTEGER, protocol INTEGER, read INTEGER, status INTEGER, type INTEGER, "
    "reply_path_present INTEGER, subject TEXT, body TEXT, service_center TEXT, locked "
    "INTEGER, error_code INTEGER, seen INTEGER";

}  // namespace cellsalvage::layouts
