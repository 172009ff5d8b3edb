#include "update/kxReliftInfo.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace pw::update {
namespace {

// Position of needle in text ignoring ASCII case, or npos.
std::size_t FindNoCase(std::string_view text, std::string_view needle) {
    const std::string upperText = UpperCase(text);
    return upperText.find(UpperCase(needle));
}

// The text without one line break at its very end. Files are written by hand on any system and
// often end without a break, so a fixed two-byte cut would eat the end of the last value.
std::string_view WithoutFinalLineBreak(std::string_view text) {
    if (text.ends_with("\r\n")) return text.substr(0, text.size() - 2);
    if (text.ends_with('\n') || text.ends_with('\r')) return text.substr(0, text.size() - 1);
    return text;
}

bool TryParseVersionDate(std::string_view text, TDateTime& out) {
    const std::size_t first = text.find('/');
    if (first == std::string_view::npos) return false;
    const std::size_t second = text.find('/', first + 1);
    if (second == std::string_view::npos) return false;
    // 0 is no month, day or year, so it doubles as "not a number".
    const int month = StrToIntDef(text.substr(0, first), 0);
    const int day = StrToIntDef(text.substr(first + 1, second - first - 1), 0);
    const int year = StrToIntDef(text.substr(second + 1), 0);
    return TryEncodeDate(year, month, day, out);
}

}  // namespace

std::string GetInfoValue(std::string_view text, std::string_view key, bool braced) {
    std::string needle(key);
    needle += braced ? "={" : "=";
    const std::size_t found = FindNoCase(text, needle);
    if (found == std::string_view::npos) return {};

    const std::string_view considered = WithoutFinalLineBreak(text);
    const std::size_t start = found + needle.size();
    if (start >= considered.size()) return {};
    std::size_t end = start;
    if (braced) {
        end = considered.find('}', start);
        if (end == std::string_view::npos) end = considered.size();
    } else {
        while (end < considered.size() && static_cast<unsigned char>(considered[end]) >= 32) {
            ++end;
        }
    }
    return std::string(considered.substr(start, end - start));
}

TkxReliftInfoFile ReadInfoFile(std::string_view text) {
    TkxReliftInfoFile info;
    // A listed file's digest key ends in the same suffix as the key that listed it.
    const auto add = [&](std::string value, const std::string& suffix) {
        info.files.push_back(std::move(value));
        const std::string digestKey = "#sha256" + suffix;
        std::string digest = GetInfoValue(text, digestKey, false);
        if (digest.empty() && FindNoCase(text, digestKey + "=") != std::string::npos) {
            digest = kEmptyDigestValue;
        }
        info.digests.push_back(std::move(digest));
    };
    for (const char* suffix : {"", "0"}) {
        std::string value = GetInfoValue(text, std::string("#url") + suffix, false);
        if (!value.empty()) add(std::move(value), suffix);
    }
    // Numbering goes on from the count found so far, so "#url" with "#url1" skips number 1:
    // files already published that way must keep reading the same list.
    for (std::size_t n = info.files.size() + 1;; ++n) {
        const std::string suffix = std::to_string(n);
        std::string value = GetInfoValue(text, "#url" + suffix, false);
        if (value.empty()) break;
        add(std::move(value), suffix);
    }

    info.message = GetInfoValue(text, "#message", true);
    const std::string method = GetInfoValue(text, "#method", false);
    if (method.starts_with('1')) {
        info.method = TvqUpgradeMethod::umUseExternalSetup;
    } else if (method.starts_with('2')) {
        info.method = TvqUpgradeMethod::umRedirectToURL;
    }
    return info;
}

std::string FileItemURL(std::string_view item) {
    return std::string(item.substr(0, item.find('=')));
}

std::string FileItemTarget(std::string_view item) {
    const std::size_t p = item.find('=');
    return p == std::string_view::npos ? std::string() : std::string(item.substr(p + 1));
}

TDateTime ParseVersionDate(std::string_view text, TDateTime today) {
    TDateTime date = 0;
    return TryParseVersionDate(text, date) ? date : std::trunc(today);
}

std::string FormatVersionDate(TDateTime date) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDateTime(date, year, month, day, hour, minute, second, msec);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", month, day, year);
    return buffer;
}

bool IsNewerVersion(std::string_view fileText, TkxReliftVersionControl control,
                    std::string_view versionDate, std::string_view versionNumber, TDateTime today) {
    if (control == TkxReliftVersionControl::byNumber) {
        return CompareVersions(GetInfoValue(fileText, "#version", false), versionNumber) > 0;
    }
    // A file without a readable date offers a version of unknown age. Reading it as today
    // would offer it again on every run to any program built before today, so it offers none.
    TDateTime offered = 0;
    if (!TryParseVersionDate(GetInfoValue(fileText, "#date", false), offered)) return false;
    return ParseVersionDate(versionDate, today) < offered;
}

}  // namespace pw::update
