#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifndef _WIN32
#include "platform/posix/PosixSystem.h"
#endif
#include "tests/support/ScopedEnv.h"
#include "update/kxReliftMessages.h"
#include "update/kxReliftWizard.h"

namespace pw::update {
namespace {

int IdOf(int language, int k) {
    return kFirstMessageId + kMessageBlockSize * (language - 1) + k;
}

// The placeholders of a text in order; a "%" that starts none is listed as "stray %".
std::vector<std::string> Placeholders(const std::string& text) {
    static const std::regex placeholder(R"(%(%|-?[0-9]*(\.[0-9]+)?[dfs]))");
    std::vector<std::string> found;
    for (std::size_t pos = text.find('%'); pos != std::string::npos;) {
        std::smatch m;
        if (std::regex_search(text.begin() + static_cast<std::ptrdiff_t>(pos), text.end(), m,
                              placeholder, std::regex_constants::match_continuous)) {
            found.push_back(m.str());
            pos = text.find('%', pos + m.length());
        } else {
            found.push_back("stray %");
            pos = text.find('%', pos + 1);
        }
    }
    return found;
}

// Well-formed UTF-8 without overlong forms, surrogates or code points beyond U+10FFFF.
bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t length = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            length = 1;
            cp = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + length > s.size()) return false;
        for (std::size_t j = 1; j < length; ++j) {
            const auto c = static_cast<unsigned char>(s[i + j]);
            if ((c & 0xC0) != 0x80) return false;
            cp = cp << 6 | (c & 0x3F);
        }
        if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

// The key of a button text: the character after its single "&" (ASCII folded to lower case);
// empty when the text has no usable accelerator.
std::string Accelerator(const std::string& button) {
    const std::size_t amp = button.find('&');
    if (amp == std::string::npos || button.find('&', amp + 1) != std::string::npos ||
        amp + 1 >= button.size() || button[amp + 1] == ' ') {
        return {};
    }
    std::size_t end = amp + 2;
    while (end < button.size() && (static_cast<unsigned char>(button[end]) & 0xC0) == 0x80)
        ++end;
    std::string key = button.substr(amp + 1, end - amp - 1);
    if (key.size() == 1 && key[0] >= 'A' && key[0] <= 'Z') key[0] = static_cast<char>(key[0] + 32);
    return key;
}

// A button's text as a sentence names it: "&OK" is "OK", "確定(&O)" is "確定".
std::string ButtonName(std::string button) {
    if (const std::size_t paren = button.find("(&"); paren != std::string::npos)
        return button.substr(0, paren);
    if (const std::size_t amp = button.find('&'); amp != std::string::npos) button.erase(amp, 1);
    return button;
}

long Count(std::string_view s, char c) {
    return static_cast<long>(std::count(s.begin(), s.end(), c));
}

TEST(MessageTable, EveryBlockHoldsTheEnglishMessagesInShape) {
    for (int language = 1; language <= kLanguageCount; ++language) {
        for (int k = 0; k < kMessageCount; ++k) {
            SCOPED_TRACE("language " + std::to_string(language) + ", message " + std::to_string(k));
            const std::string english = LoadStringId(IdOf(1, k));
            const std::string text = LoadStringId(IdOf(language, k));
            ASSERT_FALSE(text.empty());
            EXPECT_TRUE(IsValidUtf8(text));
            EXPECT_EQ(Placeholders(text), Placeholders(english));
            // The windows size themselves to the text: a lost or extra line feed is layout.
            EXPECT_EQ(Count(text, '\n'), Count(english, '\n'));
            for (char c : text)
                EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
            EXPECT_NE(text.front(), ' ');  // the windows add the blanks they want
            EXPECT_NE(text.back(), ' ');
            if (k >= 14 && k <= 19) {
                EXPECT_NE(Accelerator(text), "") << text;
            }
        }
        // The announcement of the question stands on a line of its own, even when empty.
        EXPECT_NE(LoadStringId(IdOf(language, 23)).find("\n%s\n"), std::string::npos);
    }
}

TEST(MessageTable, ButtonsOfOneWindowHaveDifferentKeysAndTheCompletionNoteNamesOK) {
    // Question: Yes + Later; password: OK + Cancel; progress: Next + Cancel.
    const std::pair<int, int> sameWindow[] = {{14, 19}, {16, 17}, {18, 17}};
    for (int language = 1; language <= kLanguageCount; ++language) {
        SCOPED_TRACE("language " + std::to_string(language));
        for (const auto& [a, b] : sameWindow) {
            EXPECT_NE(Accelerator(LoadStringId(IdOf(language, a))),
                      Accelerator(LoadStringId(IdOf(language, b))))
                << a << " and " << b;
        }
        const std::string ok = ButtonName(LoadStringId(IdOf(language, 16)));
        EXPECT_NE(LoadStringId(IdOf(language, 10)).find(ok), std::string::npos) << ok;
    }
}

TEST(MessageTable, IdentifiersOutsideTheTableAreEmpty) {
    const std::pair<int, std::string> cases[] = {
        {kAppTitleStringId, "<AppTitle>"},
        {kMakerStringId, "Corvel"},
        {kProductStringId, "Relift"},
        {41000, "Application update wizard"},
        {42430, LoadStringId(IdOf(wlSlovak, 30))},
        {40996, ""},
        {41031, ""},  // the gap after a block
        {41049, ""},
        {42431, ""},  // after the last block
        {42450, ""},  // where a 30th language would start
        {0, ""},
        {-41000, ""},
        {INT_MIN, ""},
        {INT_MAX, ""},
    };
    for (const auto& [id, text] : cases)
        EXPECT_EQ(LoadStringId(id), text) << id;
    EXPECT_FALSE(LoadStringId(42430).empty());

    SetMessageBase(wlGerman);
    for (int k : {-1, kMessageCount, kMessageBlockSize})
        EXPECT_EQ(LoadMessageText(k), "") << k;
    SetMessageBase(wlEnglish);
}

using pw::test::ScopedEnv;

class LanguageChoice : public ::testing::Test {
  protected:
    void TearDown() override { SetMessageBase(wlEnglish); }
};

// Locale variables name the language on Linux only; Windows gives its language number directly.
#ifndef _WIN32
class LocaleLanguage : public LanguageChoice {
  protected:
    platform::posix::PosixSystem system;
};

TEST_F(LocaleLanguage, SystemLocalePicksTheBlock) {
    using Var = std::optional<std::string>;
    struct Case {
        Var all, messages, lang;
        TkxReliftLanguage language;
        int base;
    };
    const Case cases[] = {
        {{}, {}, "pt_BR.UTF-8", wlPortugueseBrazilian, 41300},
        {{}, {}, "pt_PT.UTF-8", wlPortuguese, 41250},
        {{}, {}, "pt", wlPortuguese, 41250},
        {{}, {}, "zh_CN.UTF-8", wlChineseSimplified, 42100},
        {{}, {}, "zh_TW.UTF-8", wlChineseTraditional, 42050},
        {{}, {}, "zh_HK.UTF-8", wlChineseTraditional, 42050},
        {{}, {}, "el_GR.UTF-8", wlEnglish, 41000},  // not in the table
        {{}, {}, "de_DE.UTF-8", wlGerman, 41100},
        {{}, {}, "de_AT@euro", wlGerman, 41100},
        {{}, {}, "C", wlEnglish, 41000},
        {{}, {}, "POSIX", wlEnglish, 41000},
        {{}, {}, {}, wlEnglish, 41000},
        {"fr_FR.UTF-8", "ru_RU.UTF-8", "de_DE.UTF-8", wlFrench, 41150},
        {{}, "ru_RU.UTF-8", "de_DE.UTF-8", wlRussian, 41050},
        {"C", {}, "de_DE.UTF-8", wlEnglish, 41000},
        {"", {}, "es_ES.UTF-8", wlSpanish, 41200},  // empty counts as unset
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang.value_or("(unset)"));
        const ScopedEnv env{{"LC_ALL", c.all}, {"LC_MESSAGES", c.messages}, {"LANG", c.lang}};
        SetMessageBase(wlSlovak);  // so that detecting nothing cannot pass for English
        EXPECT_EQ(DetectLanguage(system.DefaultLanguage()), c.language);
        EXPECT_EQ(MessageBase(), c.base);
    }
}

TEST_F(LocaleLanguage, EveryLanguageOfTheTableIsReachedFromItsLocale) {
    const std::pair<const char*, TkxReliftLanguage> cases[] = {
        {"en_US", wlEnglish},
        {"ru_RU", wlRussian},
        {"de_CH", wlGerman},
        {"fr_CA", wlFrench},
        {"es_MX", wlSpanish},
        {"pt_PT", wlPortuguese},
        {"pt_BR", wlPortugueseBrazilian},
        {"it_IT", wlItalian},
        {"nl_BE", wlDutch},
        {"da_DK", wlDanish},
        {"sv_FI", wlSwedish},
        {"fi_FI", wlFinnish},
        {"et_EE", wlEstonian},
        {"uk_UA", wlUkrainian},
        {"pl_PL", wlPolish},
        {"cs_CZ", wlCzech},
        {"hu_HU", wlHungarian},
        {"ro_RO", wlRomanian},
        {"ca_ES", wlCatalan},
        {"eu_ES", wlBasque},
        {"af_ZA", wlAfrikaans},
        {"zh_TW", wlChineseTraditional},
        {"zh_CN", wlChineseSimplified},
        {"id_ID", wlIndonesian},
        {"ms_MY", wlMalay},
        {"is_IS", wlIcelandic},
        {"tr_TR", wlTurkish},
        {"nb_NO", wlNorwegian},
        {"nn_NO", wlNorwegian},
        {"no_NO", wlNorwegian},
        {"sk_SK", wlSlovak},
    };
    for (const auto& [locale, language] : cases) {
        const ScopedEnv env{{"LC_ALL", locale}};
        EXPECT_EQ(DetectLanguage(system.DefaultLanguage()), language) << locale;
        EXPECT_EQ(MessageBase(), MessageBaseOf(language)) << locale;
    }
}
#endif

TEST_F(LanguageChoice, LanguageSetterSwitchesEveryTextAtOnce) {
    TkxReliftWizard wizard;
    wizard.SetLanguage(wlGerman, 0x0409);
    EXPECT_EQ(wizard.Language(), wlGerman);
    EXPECT_EQ(MessageBase(), 41100);
    EXPECT_EQ(LoadMessageText(14), "&Ja");
    EXPECT_EQ(FormatMessageText(9, {2, 5}), "Datei 2 von 5 wird heruntergeladen");

    // Setting the value the wizard already holds leaves the process's base alone.
    SetMessageBase(wlFrench);
    wizard.SetLanguage(wlGerman, 0x0409);
    EXPECT_EQ(MessageBase(), 41150);

    // Back to automatic: the system's language decides again.
    wizard.SetLanguage(wlAuto, 0x0416);
    EXPECT_EQ(wizard.Language(), wlAuto);
    EXPECT_EQ(MessageBase(), 41300);

    // A new wizard already holds wlAuto: assigning it does not detect again.
    TkxReliftWizard fresh;
    fresh.SetLanguage(wlAuto, 0x0407);
    EXPECT_EQ(MessageBase(), 41300);

    // A value outside the enumeration keeps what is in use.
    wizard.SetLanguage(wlRussian, 0x0409);
    wizard.SetLanguage(static_cast<TkxReliftLanguage>(31), 0x0409);
    EXPECT_EQ(wizard.Language(), wlRussian);
    EXPECT_EQ(MessageBase(), 41050);
}

TEST(FormatText, BehavesLikeTheTableExpects) {
    struct Case {
        const char* format;
        std::initializer_list<TFormatArg> args;
        const char* expected;
    };
    const Case cases[] = {
        {"%d", {42}, "42"},
        {"%d", {-7}, "-7"},
        {"%d", {LLONG_MIN}, "-9223372036854775808"},
        {"%.2d", {5}, "05"},
        {"%.2d", {123}, "123"},
        {"%.3d", {-5}, "-005"},
        {"%4d|%-4d|", {7, 8}, "   7|8   |"},
        {"%.1f", {1.26}, "1.3"},
        {"%.1f", {0.0}, "0.0"},
        {"%f", {3.14159}, "3.14"},  // two decimals unless told otherwise
        {"%.0f", {2.7}, "3"},
        {"%s", {"Pagewarden"}, "Pagewarden"},
        {"%s", {""}, ""},
        {"%5s|%-5s|", {"ab", "cd"}, "   ab|cd   |"},
        {"%.2s|%4s", {"Ünï", "çé"}, "Ün|  çé"},  // characters, not bytes
        {"100%%", {}, "100%"},
        {"%d%%", {50}, "50%"},
        {"%d of %d", {3}, "3 of %d"},  // missing argument
        {"%d", {"x"}, "%d"},           // wrong kinds
        {"%s", {5}, "%s"},
        {"%f", {5}, "%f"},
        {"%d %s", {1.5, "ok"}, "%d ok"},  // a bad one still takes its argument
        {"50%", {}, "50%"},               // "%" at the end
        {"%", {1}, "%"},
        {"%.", {1}, "%."},
        {"%-", {1}, "%-"},
        {"%5", {1}, "%5"},
        {"%x and %d", {1}, "%x and 1"},           // unknown kinds are text
        {"%99999999999d", {1}, "%99999999999d"},  // absurd sizes are not honoured
        {"%.5000f", {1.0}, "%.5000f"},
        {"plain", {1, "two"}, "plain"},
        {"", {1}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatText(c.format, c.args), c.expected) << c.format;
}

TEST(FormatText, EnglishMessagesFormatAsTheWindowsShowThem) {
    SetMessageBase(wlEnglish);
    EXPECT_EQ(FormatMessageText(8, {1, 2, 3}), "Estimated time left: 1:02:03");
    EXPECT_EQ(FormatMessageText(6, {1536 / 1024.0}), "File size: 1.5 Kb");
    EXPECT_EQ(FormatMessageText(23, {"Pagewarden", ""}),
              "A newer version of Pagewarden was released.\n\nDo you want to update your version "
              "with the latest one?");
    EXPECT_EQ(FormatMessageText(29, {"setup.exe"}),
              "Access to remote file \"setup.exe\" is password protected.\n\nPlease enter your "
              "username and password (received after registration) to continue software "
              "upgrade.");
    EXPECT_EQ(LoadMessageText(22), "Preparing. . .");
}

}  // namespace
}  // namespace pw::update
