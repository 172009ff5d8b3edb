#pragma once
// The self-update component's message table: 31 messages in 29 languages, one block of 50
// identifiers per language (41000 + 50 x (language - 1) + k), and the component's three own
// strings 40997 "<AppTitle>", 40998 "Corvel" and 40999 "Relift". The texts are UTF-8; every
// block holds the same messages with the same placeholders in the same order as English.
//
// The message base is one value for the whole process, shared by every component: it is set by
// DetectLanguage at start-up and by TkxReliftWizard::SetLanguage. Any thread may read it.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace pw::update {

enum TkxReliftLanguage {
    wlAuto,
    wlEnglish,
    wlRussian,
    wlGerman,
    wlFrench,
    wlSpanish,
    wlPortuguese,
    wlPortugueseBrazilian,
    wlItalian,
    wlDutch,
    wlDanish,
    wlSwedish,
    wlFinnish,
    wlEstonian,
    wlUkrainian,
    wlPolish,
    wlCzech,
    wlHungarian,
    wlRomanian,
    wlCatalan,
    wlBasque,
    wlAfrikaans,
    wlChineseTraditional,
    wlChineseSimplified,
    wlIndonesian,
    wlMalay,
    wlIcelandic,
    wlTurkish,
    wlNorwegian,
    wlSlovak,
};

inline constexpr int kMessageCount = 31;
inline constexpr int kLanguageCount = 29;
inline constexpr int kFirstMessageId = 41000;
inline constexpr int kMessageBlockSize = 50;
inline constexpr int kAppTitleStringId = 40997;  // "<AppTitle>"
inline constexpr int kMakerStringId = 40998;     // "Corvel"
inline constexpr int kProductStringId = 40999;   // "Relift"

// The first identifier of a language's block; wlAuto has none (gives the English block).
int MessageBaseOf(TkxReliftLanguage language);

// The language a Windows language identifier selects (primary language in the low 10 bits,
// sub-language above): Portuguese and Chinese by their sub-language, the others by the primary
// language alone, anything else English. Never wlAuto.
TkxReliftLanguage LanguageOf(std::uint16_t languageId);

// The process's message base.
int MessageBase();
// Sets the message base to the language's block (wlAuto: left as it is).
void SetMessageBase(TkxReliftLanguage language);
// Sets the message base from the system's default language identifier and returns the language.
TkxReliftLanguage DetectLanguage(std::uint16_t systemLanguageId);

// A string of the table by identifier; empty when there is none.
std::string LoadStringId(int id);
// Message k (0..30) of the current language, raw.
std::string LoadMessageText(int k);

// An argument of FormatMessageText.
struct TFormatArg {
    enum class Kind { Int, Float, Text };
    TFormatArg(int v) : kind(Kind::Int), i(v) {}
    TFormatArg(long v) : kind(Kind::Int), i(v) {}
    TFormatArg(long long v) : kind(Kind::Int), i(v) {}
    TFormatArg(double v) : kind(Kind::Float), f(v) {}
    TFormatArg(std::string_view v) : kind(Kind::Text), s(v) {}
    TFormatArg(const char* v) : kind(Kind::Text), s(v) {}
    TFormatArg(const std::string& v) : kind(Kind::Text), s(v) {}
    Kind kind;
    long long i = 0;
    double f = 0;
    std::string_view s;
};

// Formats a text as the Format function the table was written for: %d, %s, %f with an optional
// precision (%.1f, %.2d pads with zeros to that many digits), %% a percent sign. A placeholder
// without a matching argument, or with one of the wrong kind, is left as written; never throws.
std::string FormatText(std::string_view format, std::initializer_list<TFormatArg> args);
// Message k of the current language, formatted.
std::string FormatMessageText(int k, std::initializer_list<TFormatArg> args);

}  // namespace pw::update
