#pragma once
// kxUtils, the platform-free half: text, version, date and percentage helpers, and TkxStringList.
// Texts are byte strings with 1-based positions where positions are used; 0 means not found.
// Date-times are days since 1899-12-30, the fraction being the time of day. No function here
// throws except where said; each returns its documented fallback instead.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/StringList.h"

namespace pw::platform {
class ISystem;
}

namespace pw {

using TDateTime = double;

// --- Text ---

// Token before the first delimiter (the whole text when there is none); with remove, text loses
// the token and the delimiter (becomes empty when there is none).
std::string CutToken(std::string& text, std::string_view delimiter, bool remove);

enum TkxSplitOption : unsigned {
    soDelimiterToLeft = 1,   // append the delimiter to the left part
    soDelimiterToRight = 2,  // put the delimiter in front of the right part
};
using TkxSplitOptions = unsigned;

// Splits text at the first delimiter; without one, the whole text goes left (or right with
// wholeToRight) and the other side is empty.
void SplitAt(std::string_view delimiter, std::string_view text, TkxSplitOptions options,
             bool wholeToRight, std::string& left, std::string& right);

// 1-based position of the last occurrence of sub in text; 0 when none or either is empty.
int LastPos(std::string_view sub, std::string_view text);
// Text without its leading run of c.
std::string StripLeadingChar(std::string_view text, char c);
// 0-based index of the first entry equal to text, or -1.
int IndexOfText(std::string_view text, const std::vector<std::string>& list);
// The part of a URL after its last "/", "\" or ":" (a query stays attached).
std::string UrlToFileName(std::string_view url);
// part * 100 / total rounded half to even, low 8 bits; 0 when total is 0 or on a fault.
std::uint8_t PercentOf(double part, double total);
// Both sides without leading and trailing bytes <= ' ' (the framework's Trim).
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
// ASCII case mapping (bytes >= 0x80 unchanged).
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
// Decimal integer with optional sign and surrounding blanks; fallback when it does not parse or
// does not fit in 32 bits.
int StrToIntDef(std::string_view text, int fallback);

// --- Versions ---

// "1.2" -> {"1","2","0","0"}; a fifth and later component is ignored.
std::array<std::string, 4> SplitVersion(std::string_view text);
// 1 when a is newer, -1 when b is newer, 0 when equal (see the comparison rules in the source).
std::int8_t CompareVersions(std::string_view a, std::string_view b);

// --- Dates ---

int DayNameToIndex(std::string_view text);    // "SUN".."SAT" -> 1..7, else 0
int MonthNameToIndex(std::string_view text);  // "JAN".."DEC" -> 1..12, else 0
// "+hhmm" / "-hhmm" as a signed fraction of a day; 0 when it does not parse.
TDateTime ParseZoneOffset(std::string_view text);
// The local zone's current bias in days (UTC = local + bias).
TDateTime LocalTimeBias(platform::ISystem& system);
TDateTime GmtToLocal(TDateTime t, platform::ISystem& system);
// An HTTP date (RFC 1123, RFC 850 or asctime, numeric zones allowed) as local time; 0 for an
// empty text.
TDateTime HttpDateToDateTime(std::string_view text, platform::ISystem& system);

// Calendar helpers of the framework: false for an invalid date or time.
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out);
// Both at once; before 1899-12-30 the time of day is not simply added to the (negative) date.
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec,
                       TDateTime& out);
// Splits a date-time into its calendar fields (the fraction rounded to whole milliseconds).
void DecodeDateTime(TDateTime t, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& msec);

// --- TkxStringList ---

// A string list of name/value items split at Separator, bounded to MaxCount items: adding to a
// full list first drops the oldest item, silently.
class TkxStringList : public framework::TStringList {
public:
    std::string Separator = "=";
    bool SeparatorFromRight = false;
    std::int32_t MaxCount = 2147483647;

    int Add(std::string_view s) override;
    // Deletes item 0, if any, without change notifications.
    void DeleteOldest();
    int SeparatorPos(int i) const;  // 1-based, 0 when the item has no separator
    std::string GetName(int i) const;
    std::string GetValue(int i) const;
    void SetValue(int i, std::string_view value);
    // Writes every non-empty value, each followed by CR LF; creates no file when there is none.
    void SaveValuesToFile(const std::string& fileName) const;
};

}  // namespace pw
