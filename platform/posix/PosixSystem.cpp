#include "platform/posix/PosixSystem.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

namespace pw::platform::posix {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Where each folder the program can name is found on Linux.
enum class Source {
    Fixed,     // a fixed system folder
    UserDir,   // an XDG user dir: key in user-dirs.dirs, fallback below the home folder
    DataHome,  // $XDG_DATA_HOME, fallback below the home folder
};

struct FolderMapping {
    Folder folder;
    Source source;
    const char* value;  // the path, or the user-dirs key / environment variable
    const char* fallback;
};

constexpr FolderMapping kFolderMap[] = {
    {Folder::Windows, Source::Fixed, "/usr/", nullptr},  // the operating system's own tree
    {Folder::System, Source::Fixed, "/usr/lib/", nullptr},
    {Folder::ProgramFiles, Source::Fixed, "/opt/", nullptr},  // add-on applications
    {Folder::Help, Source::Fixed, "/usr/share/help/", nullptr},
    {Folder::Media, Source::Fixed, "/usr/share/sounds/", nullptr},
    {Folder::Cursors, Source::Fixed, "/usr/share/icons/", nullptr},  // cursor themes live here
    {Folder::Desktop, Source::UserDir, "XDG_DESKTOP_DIR", "Desktop"},
    {Folder::Personal, Source::UserDir, "XDG_DOCUMENTS_DIR", "Documents"},
    {Folder::MyPictures, Source::UserDir, "XDG_PICTURES_DIR", "Pictures"},
    {Folder::AppData, Source::DataHome, "XDG_DATA_HOME", ".local/share"},
};

bool IsAbsolute(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

std::string_view TrimBlanks(std::string_view s) {
    const std::size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const std::size_t last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// One line of user-dirs.dirs, KEY="$HOME/name" or KEY="/absolute/path". Returns the path when
// the line sets `key` to a usable value.
std::optional<std::string> ParseUserDirLine(std::string_view line, std::string_view key,
                                            const std::string& home) {
    line = TrimBlanks(line);
    if (line.empty() || line.front() == '#') return std::nullopt;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || TrimBlanks(line.substr(0, eq)) != key) return std::nullopt;
    std::string_view quoted = TrimBlanks(line.substr(eq + 1));
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return std::nullopt;
    quoted = quoted.substr(1, quoted.size() - 2);

    std::string value;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == '\\' && i + 1 < quoted.size()) ++i;
        value += quoted[i];
    }
    constexpr std::string_view kHome = "$HOME";
    if (value.starts_with(kHome) && (value.size() == kHome.size() || value[kHome.size()] == '/')) {
        if (home.empty()) return std::nullopt;
        value = home + value.substr(kHome.size());
    }
    if (!IsAbsolute(value)) return std::nullopt;
    while (value.size() > 1 && value.back() == '/')
        value.pop_back();
    return value;
}

std::string UserDir(const FolderMapping& m) {
    const std::string home = PosixSystem::HomeFolder();
    const std::string config = PosixSystem::UserConfigFolder();
    std::optional<std::string> found;
    if (!config.empty()) {
        std::ifstream in(config + "/user-dirs.dirs");
        std::string line;
        while (std::getline(in, line)) {
            // Like the shell that sources the file: the last assignment wins.
            if (auto v = ParseUserDirLine(line, m.value, home)) found = std::move(v);
        }
    }
    if (found) return *found;
    return home.empty() ? std::string() : home + "/" + m.fallback;
}

struct LocaleLanguage {
    const char* code;     // ISO 639 code as used in locale names
    const char* country;  // ISO 3166 country; "" for any country not listed with its own row
    std::uint16_t id;     // Windows language identifier: sub-language << 10 | primary language
};

// The Windows language of each locale language, and of the country variants that Windows tells
// apart (a variant is listed only when it differs from the language's default row).
constexpr LocaleLanguage kLocaleLanguages[] = {
    {"af", "", 0x0436},   {"am", "", 0x045E},   {"ar", "", 0x0401},   {"ar", "IQ", 0x0801},
    {"ar", "EG", 0x0C01}, {"ar", "LY", 0x1001}, {"ar", "DZ", 0x1401}, {"ar", "MA", 0x1801},
    {"ar", "TN", 0x1C01}, {"ar", "OM", 0x2001}, {"ar", "YE", 0x2401}, {"ar", "SY", 0x2801},
    {"ar", "JO", 0x2C01}, {"ar", "LB", 0x3001}, {"ar", "KW", 0x3401}, {"ar", "AE", 0x3801},
    {"ar", "BH", 0x3C01}, {"ar", "QA", 0x4001}, {"as", "", 0x044D},   {"az", "", 0x042C},
    {"be", "", 0x0423},   {"bg", "", 0x0402},   {"bn", "", 0x0445},   {"bo", "", 0x0451},
    {"br", "", 0x047E},   {"bs", "", 0x141A},   {"ca", "", 0x0403},   {"cs", "", 0x0405},
    {"cy", "", 0x0452},   {"da", "", 0x0406},   {"de", "", 0x0407},   {"de", "CH", 0x0807},
    {"de", "AT", 0x0C07}, {"de", "LU", 0x1007}, {"de", "LI", 0x1407}, {"el", "", 0x0408},
    {"en", "", 0x0409},   {"en", "GB", 0x0809}, {"en", "AU", 0x0C09}, {"en", "CA", 0x1009},
    {"en", "NZ", 0x1409}, {"en", "IE", 0x1809}, {"en", "ZA", 0x1C09}, {"en", "JM", 0x2009},
    {"en", "BZ", 0x2809}, {"en", "TT", 0x2C09}, {"en", "ZW", 0x3009}, {"en", "PH", 0x3409},
    {"en", "IN", 0x4009}, {"en", "MY", 0x4409}, {"en", "SG", 0x4809}, {"es", "", 0x0C0A},
    {"es", "MX", 0x080A}, {"es", "GT", 0x100A}, {"es", "CR", 0x140A}, {"es", "PA", 0x180A},
    {"es", "DO", 0x1C0A}, {"es", "VE", 0x200A}, {"es", "CO", 0x240A}, {"es", "PE", 0x280A},
    {"es", "AR", 0x2C0A}, {"es", "EC", 0x300A}, {"es", "CL", 0x340A}, {"es", "UY", 0x380A},
    {"es", "PY", 0x3C0A}, {"es", "BO", 0x400A}, {"es", "SV", 0x440A}, {"es", "HN", 0x480A},
    {"es", "NI", 0x4C0A}, {"es", "PR", 0x500A}, {"es", "US", 0x540A}, {"et", "", 0x0425},
    {"eu", "", 0x042D},   {"fa", "", 0x0429},   {"fi", "", 0x040B},   {"fil", "", 0x0464},
    {"fo", "", 0x0438},   {"fr", "", 0x040C},   {"fr", "BE", 0x080C}, {"fr", "CA", 0x0C0C},
    {"fr", "CH", 0x100C}, {"fr", "LU", 0x140C}, {"fr", "MC", 0x180C}, {"fy", "", 0x0462},
    {"ga", "", 0x083C},   {"gd", "", 0x0491},   {"gl", "", 0x0456},   {"gu", "", 0x0447},
    {"ha", "", 0x0468},   {"he", "", 0x040D},   {"hi", "", 0x0439},   {"hr", "", 0x041A},
    {"hr", "BA", 0x101A}, {"hu", "", 0x040E},   {"hy", "", 0x042B},   {"id", "", 0x0421},
    {"ig", "", 0x0470},   {"is", "", 0x040F},   {"it", "", 0x0410},   {"it", "CH", 0x0810},
    {"ja", "", 0x0411},   {"ka", "", 0x0437},   {"kk", "", 0x043F},   {"km", "", 0x0453},
    {"kn", "", 0x044B},   {"ko", "", 0x0412},   {"ky", "", 0x0440},   {"lb", "", 0x046E},
    {"lo", "", 0x0454},   {"lt", "", 0x0427},   {"lv", "", 0x0426},   {"mi", "", 0x0481},
    {"mk", "", 0x042F},   {"ml", "", 0x044C},   {"mn", "", 0x0450},   {"mr", "", 0x044E},
    {"ms", "", 0x043E},   {"ms", "BN", 0x083E}, {"mt", "", 0x043A},   {"nb", "", 0x0414},
    {"ne", "", 0x0461},   {"nl", "", 0x0413},   {"nl", "BE", 0x0813}, {"nn", "", 0x0814},
    {"no", "", 0x0414},   {"oc", "", 0x0482},   {"or", "", 0x0448},   {"pa", "", 0x0446},
    {"pl", "", 0x0415},   {"ps", "", 0x0463},   {"pt", "", 0x0816},   {"pt", "BR", 0x0416},
    {"ro", "", 0x0418},   {"ru", "", 0x0419},   {"rw", "", 0x0487},   {"sa", "", 0x044F},
    {"se", "", 0x043B},   {"si", "", 0x045B},   {"sk", "", 0x041B},   {"sl", "", 0x0424},
    {"sq", "", 0x041C},   {"sr", "", 0x281A},   {"sv", "", 0x041D},   {"sv", "FI", 0x081D},
    {"sw", "", 0x0441},   {"ta", "", 0x0449},   {"te", "", 0x044A},   {"tg", "", 0x0428},
    {"th", "", 0x041E},   {"tk", "", 0x0442},   {"tn", "", 0x0432},   {"tr", "", 0x041F},
    {"tt", "", 0x0444},   {"uk", "", 0x0422},   {"ur", "", 0x0420},   {"uz", "", 0x0443},
    {"vi", "", 0x042A},   {"wo", "", 0x0488},   {"xh", "", 0x0434},   {"yo", "", 0x046A},
    {"zh", "", 0x0804},   {"zh", "TW", 0x0404}, {"zh", "HK", 0x0C04}, {"zh", "SG", 0x1004},
    {"zh", "MO", 0x1404}, {"zu", "", 0x0435},
};

constexpr std::uint16_t kEnglishUnitedStates = 0x0409;

// The number at the front of s (0 when there is none); s is left after it and one '.'.
std::uint32_t TakeNumber(std::string_view& s) {
    std::uint32_t n = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec != std::errc()) return 0;
    s.remove_prefix(static_cast<std::size_t>(end - s.data()));
    if (!s.empty() && s.front() == '.') s.remove_prefix(1);
    return n;
}

}  // namespace

std::string PosixSystem::HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir) {
        home = result->pw_dir;
    }
    return home;
}

std::string PosixSystem::UserConfigFolder() {
    const std::string config = Env("XDG_CONFIG_HOME");
    if (IsAbsolute(config)) return config;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.config";
}

std::string PosixSystem::ExecutablePath() {
    std::error_code ec;
    std::string path = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    if (ec) return {};
    // The kernel marks an executable that was replaced on disk while running; the program's
    // path is still the path without the mark.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted) && !std::filesystem::exists(path, ec)) {
        path.resize(path.size() - kDeleted.size());
    }
    return path;
}

std::string PosixSystem::CurrentDirectory() {
    std::error_code ec;
    const auto path = std::filesystem::current_path(ec);
    return ec ? std::string() : path.string();
}

std::string PosixSystem::TempPath() {
    std::string path = Env("TMPDIR");
    if (path.empty()) return "/tmp/";
    if (path.back() != '/') path += '/';
    return path;
}

std::string PosixSystem::FolderPath(Folder folder) {
    const auto m = std::find_if(std::begin(kFolderMap), std::end(kFolderMap),
                                [folder](const FolderMapping& f) { return f.folder == folder; });
    if (m == std::end(kFolderMap)) return {};
    switch (m->source) {
        case Source::Fixed:
            return m->value;
        case Source::UserDir:
            return UserDir(*m);
        case Source::DataHome: {
            const std::string data = Env(m->value);
            if (IsAbsolute(data)) return data;
            const std::string home = HomeFolder();
            return home.empty() ? std::string() : home + "/" + m->fallback;
        }
    }
    return {};
}

OsVersion PosixSystem::Version() {
    utsname names{};
    if (uname(&names) != 0) return {};
    std::string_view release = names.release;  // "6.1.0-18-amd64"
    OsVersion version;
    version.major = TakeNumber(release);
    version.minor = TakeNumber(release);
    version.build = TakeNumber(release);
    return version;
}

int PosixSystem::TimeZoneBiasMinutes() {
    tzset();  // localtime_r need not notice a changed TZ by itself
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return 0;
    return static_cast<int>(-local.tm_gmtoff / 60);
}

std::uint16_t PosixSystem::DefaultLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string locale = Env(name);
        if (!locale.empty()) return LanguageIdFromLocale(locale);
    }
    return kEnglishUnitedStates;
}

std::uint16_t PosixSystem::LanguageIdFromLocale(std::string_view locale) {
    // language[_COUNTRY][.codeset][@modifier]; a dash is taken like the underscore.
    locale = locale.substr(0, std::min(locale.find_first_of(".@"), locale.size()));
    const std::size_t sep = std::min(locale.find_first_of("_-"), locale.size());
    std::string code(locale.substr(0, sep));
    std::string country(locale.substr(std::min(sep + 1, locale.size())));
    for (auto& c : code)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (auto& c : country)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);

    const LocaleLanguage* found = nullptr;
    for (const LocaleLanguage& l : kLocaleLanguages) {
        if (code != l.code) continue;
        if (country == l.country) return l.id;
        if (*l.country == '\0') found = &l;
    }
    return found ? found->id : kEnglishUnitedStates;
}

bool PosixSystem::HasNonLoopbackAddress() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, freeifaddrs);
    for (const ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_addr) continue;
        const unsigned flags = ifa->ifa_flags;
        // Running, not just switched on: a bridge or a cable without a peer has no network.
        if (!(flags & IFF_UP) || !(flags & IFF_RUNNING) || (flags & IFF_LOOPBACK)) continue;
        if (ifa->ifa_addr->sa_family == AF_INET) return true;
        if (ifa->ifa_addr->sa_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(ifa->ifa_addr);
            // Every running link gets a link-local address by itself; it proves no network.
            if (!IN6_IS_ADDR_LINKLOCAL(&in6->sin6_addr)) return true;
        }
    }
    return false;
}

}  // namespace pw::platform::posix
