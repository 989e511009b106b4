// One web-address record and one letter block of records.
//
// A record is a line "code name address " of at most 89 bytes (GBK): a code of letters
// whose first letter ('a' to 'z') decides the block, the name, the address (a final '*'
// marks a frequently used one), each followed by one space; text after the third space is
// kept but plays no part. A block holds 200 records packed from its first entry; the first
// empty entry ends it. Frequently used records stand together at the head of their block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

constexpr int WEB_BLOCKS = 26;
constexpr int WEB_BLOCK_RECORDS = 200;
constexpr size_t WEB_RECORD_SIZE = 90;
constexpr size_t WEB_RECORD_MAX = WEB_RECORD_SIZE - 1;  // bytes of text a record holds

using WebRecord = char[WEB_RECORD_SIZE];
using WebBlock = WebRecord[WEB_BLOCK_RECORDS];
using WebList = WebBlock[WEB_BLOCKS];

// The three fields of a record; the star is not part of the address here.
struct WebFields {
    std::string_view code;
    std::string_view name;
    std::string_view address;
    bool starred = false;
};

// Splits text of the given length into its fields. False unless it is a record: at most
// 89 bytes, no zero byte, exactly three spaces, none of code, name and address empty (a
// lone '*' is an empty address), a first letter from 'a' to 'z'.
bool splitWebRecord(const char* text, size_t length, WebFields& fields);
bool splitWebRecord(const char* record, WebFields& fields);

// Block of a first letter: 0..25, or -1 for any other byte.
int webBlockOf(char first);

// Records in use: those before the first empty entry.
int webBlockCount(const WebBlock& block);
// Records at the head that are frequently used.
int webStarredCount(const WebBlock& block);
// 1 + position of the last frequently used record, 0 when there is none.
int webFixedCount(const WebBlock& block);

// Same code, name and address, whether or not either is starred.
bool sameWebRecord(const WebFields& a, const WebFields& b);
// Position of a record of the block with those fields, or -1.
int findWebRecord(const WebBlock& block, const WebFields& fields);

// Writes "code name address " (the star after the address when starred) into out. False,
// leaving out unchanged, when it would not fit in a record.
bool composeWebRecord(const WebFields& fields, WebRecord& out);

// Puts a record into the block, an unstarred one at the end, a starred one after the
// starred head. Returns its position, or -1 when the block is full.
int insertWebRecord(WebBlock& block, const WebRecord& record);
// Takes the record at position out; those after it move up one.
void removeWebRecord(WebBlock& block, int position);
// Moves the record at from to position to, shifting those between by one.
void moveWebRecord(WebBlock& block, int from, int to);
// Switches the star of the record at position; starring moves it to the end of the
// starred head, unstarring to just after it. Returns its new position, -1 when the starred
// record would not fit, or WEB_STAR_KEPT when the address without its star would end in
// '*' as well (the text is unchanged in both cases).
constexpr int WEB_STAR_KEPT = -2;
int toggleWebRecordStar(WebBlock& block, int position);
