#pragma once
// The update information file as the self-update component reads it, and the decision whether
// it offers a newer version. Pure functions of the file's text: no transfer, no clock (the
// caller passes today's date), no state.

#include <string>
#include <string_view>
#include <vector>

#include "util/kxUtilsText.h"

namespace pw::update {

enum class TkxReliftVersionControl { byDate = 0, byNumber = 1 };

enum class TvqUpgradeMethod { umSelfUpgrade = 0, umUseExternalSetup = 1, umRedirectToURL = 2 };

// The value digests holds for a file whose digest key is given with nothing after "=": the maker
// meant to give one, so it must not read as "no digest" (it is never a digest, so it never
// matches).
inline constexpr std::string_view kEmptyDigestValue = "(empty)";

// What an information file asks for. Each item of files is "url" or "url=target", in the order
// the file lists them, kept as written (a redirect opens the first item unchanged).
//
// digests runs parallel to files: the SHA-256 digest the file gives for that item under
// "#sha256" followed by the item's own key suffix ("#sha256" for "#url", "#sha2560" for
// "#url0", "#sha2562" for "#url2"), or empty when it gives none. A digest is kept exactly as
// written, even when it is not 64 hex digits: a malformed digest must fail the download, never
// pass as a file that has no digest.
struct TkxReliftInfoFile {
    std::vector<std::string> files;
    std::vector<std::string> digests;
    std::string message;
    TvqUpgradeMethod method = TvqUpgradeMethod::umSelfUpgrade;
};

// The value of key in an information file: the first case-insensitive occurrence of "key=" (or
// "key={" when braced) anywhere in text. A plain value ends at the first control character, a
// braced one at the first "}" (or the end of the text). Empty when the key is missing. The
// value keeps its case and blanks; a final line break of the text never belongs to it.
std::string GetInfoValue(std::string_view text, std::string_view key, bool braced);

// The download list, message and method of an information file.
TkxReliftInfoFile ReadInfoFile(std::string_view text);

// An item of the download list split at its first "=": the URL, and the target path (empty
// when the item has no "=").
std::string FileItemURL(std::string_view item);
std::string FileItemTarget(std::string_view item);

// "month/day/year" as a date; the date of today (its time of day dropped) when the text is
// not such a date.
TDateTime ParseVersionDate(std::string_view text, TDateTime today);
// "mm/dd/yyyy", always with "/" whatever the locale.
std::string FormatVersionDate(TDateTime date);

// True when the file offers a version newer than the running one: by "#version" against
// versionNumber, or by "#date" against versionDate.
bool IsNewerVersion(std::string_view fileText, TkxReliftVersionControl control,
                    std::string_view versionDate, std::string_view versionNumber, TDateTime today);

}  // namespace pw::update
