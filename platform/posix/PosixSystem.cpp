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

struct Language {
    const char* code;  // ISO 639 code as used in locale names
    std::uint16_t primary;
    std::uint16_t defaultSub;  // sub-language when the country is missing or not listed
};

// Windows primary language numbers of the locale languages.
constexpr Language kLanguages[] = {
    {"af", 0x36, 0x01}, {"am", 0x5E, 0x01}, {"ar", 0x01, 0x01}, {"as", 0x4D, 0x01},
    {"az", 0x2C, 0x01}, {"be", 0x23, 0x01}, {"bg", 0x02, 0x01}, {"bn", 0x45, 0x01},
    {"bo", 0x51, 0x01}, {"br", 0x7E, 0x01}, {"bs", 0x1A, 0x05}, {"ca", 0x03, 0x01},
    {"cs", 0x05, 0x01}, {"cy", 0x52, 0x01}, {"da", 0x06, 0x01}, {"de", 0x07, 0x01},
    {"el", 0x08, 0x01}, {"en", 0x09, 0x01}, {"es", 0x0A, 0x03}, {"et", 0x25, 0x01},
    {"eu", 0x2D, 0x01}, {"fa", 0x29, 0x01}, {"fi", 0x0B, 0x01}, {"fil", 0x64, 0x01},
    {"fo", 0x38, 0x01}, {"fr", 0x0C, 0x01}, {"fy", 0x62, 0x01}, {"ga", 0x3C, 0x02},
    {"gd", 0x91, 0x01}, {"gl", 0x56, 0x01}, {"gu", 0x47, 0x01}, {"ha", 0x68, 0x01},
    {"he", 0x0D, 0x01}, {"hi", 0x39, 0x01}, {"hr", 0x1A, 0x01}, {"hu", 0x0E, 0x01},
    {"hy", 0x2B, 0x01}, {"id", 0x21, 0x01}, {"ig", 0x70, 0x01}, {"is", 0x0F, 0x01},
    {"it", 0x10, 0x01}, {"ja", 0x11, 0x01}, {"ka", 0x37, 0x01}, {"kk", 0x3F, 0x01},
    {"km", 0x53, 0x01}, {"kn", 0x4B, 0x01}, {"ko", 0x12, 0x01}, {"ky", 0x40, 0x01},
    {"lb", 0x6E, 0x01}, {"lo", 0x54, 0x01}, {"lt", 0x27, 0x01}, {"lv", 0x26, 0x01},
    {"mi", 0x81, 0x01}, {"mk", 0x2F, 0x01}, {"ml", 0x4C, 0x01}, {"mn", 0x50, 0x01},
    {"mr", 0x4E, 0x01}, {"ms", 0x3E, 0x01}, {"mt", 0x3A, 0x01}, {"nb", 0x14, 0x01},
    {"ne", 0x61, 0x01}, {"nl", 0x13, 0x01}, {"nn", 0x14, 0x02}, {"no", 0x14, 0x01},
    {"oc", 0x82, 0x01}, {"or", 0x48, 0x01}, {"pa", 0x46, 0x01}, {"pl", 0x15, 0x01},
    {"ps", 0x63, 0x01}, {"pt", 0x16, 0x02}, {"ro", 0x18, 0x01}, {"ru", 0x19, 0x01},
    {"rw", 0x87, 0x01}, {"sa", 0x4F, 0x01}, {"se", 0x3B, 0x01}, {"si", 0x5B, 0x01},
    {"sk", 0x1B, 0x01}, {"sl", 0x24, 0x01}, {"sq", 0x1C, 0x01}, {"sr", 0x1A, 0x0A},
    {"sv", 0x1D, 0x01}, {"sw", 0x41, 0x01}, {"ta", 0x49, 0x01}, {"te", 0x4A, 0x01},
    {"tg", 0x28, 0x01}, {"th", 0x1E, 0x01}, {"tk", 0x42, 0x01}, {"tn", 0x32, 0x01},
    {"tr", 0x1F, 0x01}, {"tt", 0x44, 0x01}, {"uk", 0x22, 0x01}, {"ur", 0x20, 0x01},
    {"uz", 0x43, 0x01}, {"vi", 0x2A, 0x01}, {"wo", 0x88, 0x01}, {"xh", 0x34, 0x01},
    {"yo", 0x6A, 0x01}, {"zh", 0x04, 0x02}, {"zu", 0x35, 0x01},
};

struct SubLanguage {
    const char* code;
    const char* country;
    std::uint16_t sub;
};

// Windows sub-language numbers of the language variants that have their own.
constexpr SubLanguage kSubLanguages[] = {
    {"ar", "SA", 0x01}, {"ar", "IQ", 0x02}, {"ar", "EG", 0x03}, {"ar", "LY", 0x04},
    {"ar", "DZ", 0x05}, {"ar", "MA", 0x06}, {"ar", "TN", 0x07}, {"ar", "OM", 0x08},
    {"ar", "YE", 0x09}, {"ar", "SY", 0x0A}, {"ar", "JO", 0x0B}, {"ar", "LB", 0x0C},
    {"ar", "KW", 0x0D}, {"ar", "AE", 0x0E}, {"ar", "BH", 0x0F}, {"ar", "QA", 0x10},
    {"de", "DE", 0x01}, {"de", "CH", 0x02}, {"de", "AT", 0x03}, {"de", "LU", 0x04},
    {"de", "LI", 0x05}, {"en", "US", 0x01}, {"en", "GB", 0x02}, {"en", "AU", 0x03},
    {"en", "CA", 0x04}, {"en", "NZ", 0x05}, {"en", "IE", 0x06}, {"en", "ZA", 0x07},
    {"en", "JM", 0x08}, {"en", "BZ", 0x0A}, {"en", "TT", 0x0B}, {"en", "ZW", 0x0C},
    {"en", "PH", 0x0D}, {"en", "IN", 0x10}, {"en", "MY", 0x11}, {"en", "SG", 0x12},
    {"es", "MX", 0x02}, {"es", "ES", 0x03}, {"es", "GT", 0x04}, {"es", "CR", 0x05},
    {"es", "PA", 0x06}, {"es", "DO", 0x07}, {"es", "VE", 0x08}, {"es", "CO", 0x09},
    {"es", "PE", 0x0A}, {"es", "AR", 0x0B}, {"es", "EC", 0x0C}, {"es", "CL", 0x0D},
    {"es", "UY", 0x0E}, {"es", "PY", 0x0F}, {"es", "BO", 0x10}, {"es", "SV", 0x11},
    {"es", "HN", 0x12}, {"es", "NI", 0x13}, {"es", "PR", 0x14}, {"es", "US", 0x15},
    {"fr", "FR", 0x01}, {"fr", "BE", 0x02}, {"fr", "CA", 0x03}, {"fr", "CH", 0x04},
    {"fr", "LU", 0x05}, {"fr", "MC", 0x06}, {"hr", "BA", 0x04}, {"it", "IT", 0x01},
    {"it", "CH", 0x02}, {"ms", "MY", 0x01}, {"ms", "BN", 0x02}, {"nl", "NL", 0x01},
    {"nl", "BE", 0x02}, {"pt", "BR", 0x01}, {"pt", "PT", 0x02}, {"sv", "SE", 0x01},
    {"sv", "FI", 0x02}, {"zh", "TW", 0x01}, {"zh", "CN", 0x02}, {"zh", "HK", 0x03},
    {"zh", "SG", 0x04}, {"zh", "MO", 0x05},
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

    const auto lang = std::find_if(std::begin(kLanguages), std::end(kLanguages),
                                   [&](const Language& l) { return code == l.code; });
    if (lang == std::end(kLanguages)) return kEnglishUnitedStates;
    std::uint16_t sub = lang->defaultSub;
    for (const auto& s : kSubLanguages) {
        if (code == s.code && country == s.country) sub = s.sub;
    }
    return static_cast<std::uint16_t>(sub << 10 | lang->primary);
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
