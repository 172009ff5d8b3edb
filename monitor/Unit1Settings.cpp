// The settings store: an ini file's layout in the registry of the current user. One key stands
// for the file, a sub-key for each section, a named value for each entry.

#include <optional>
#include <stdexcept>
#include <vector>

#include "monitor/Unit1.h"
#include "util/kxUtilsText.h"

namespace pw::monitor {

namespace {

// What keeps the settings, in the words of the messages that name where a copy went.
#ifdef _WIN32
constexpr std::string_view kSettingsStore = "settings key";
#else
constexpr std::string_view kSettingsStore = "settings file";
#endif

using platform::RegRoot;
using platform::RegStatus;
using platform::RegType;
using platform::RegValue;

constexpr RegRoot kRoot = RegRoot::CurrentUser;

enum class Kind {
    Text,     // a string value
    Integer,  // a number value, or a string when one of that name exists already
    Flag,     // written as "1" / "0", read as an integer of either kind, non-zero = true
};

enum class Setting { Url, Search, Logic, Duration, AlarmRepeat, SoundFile, Autostart, Minimised };

struct SettingDef {
    Setting id;
    std::string_view section;
    std::string_view name;  // per-row settings get the row number appended
    Kind kind;
    bool perRow;
    int defaultNumber;  // texts default to empty
};

// Every stored setting, in the order Save writes them.
constexpr SettingDef kSettings[] = {
    {Setting::Url, "URLs", "URL", Kind::Text, true, 0},
    {Setting::Search, "Search", "Search", Kind::Text, true, 0},
    {Setting::Logic, "Logic", "logic", Kind::Integer, true, 0},
    {Setting::Duration, "Timer", "Duration", Kind::Integer, false, 60},
    {Setting::AlarmRepeat, "Timer", "Alarmrepeat", Kind::Integer, false, 10},
    {Setting::SoundFile, "Alarm", "filename", Kind::Text, false, 0},
    {Setting::Autostart, "Startup", "Autostart", Kind::Flag, false, 0},
    {Setting::Minimised, "Startup", "Minimised", Kind::Flag, false, 0},
};

const SettingDef& Def(Setting id) {
    for (const SettingDef& def : kSettings)
        if (def.id == id) return def;
    throw std::logic_error("unknown setting");
}

std::string ValueName(const SettingDef& def, int k) {
    return def.perRow ? std::string(def.name) + std::to_string(k) : std::string(def.name);
}

// A stored value as the window uses it: text for texts, a number for integers and flags.
struct Stored {
    std::string text;
    int number = 0;
};

// What a missing value reads as.
Stored DefaultOf(const SettingDef& def) {
    return {{}, def.kind == Kind::Flag ? 0 : def.defaultNumber};
}

std::string StatusText(RegStatus status) {
    switch (status) {
        case RegStatus::AccessDenied:
            return "access denied";
        case RegStatus::IoError:
            return "input/output error";
        default:
            return "error " + std::to_string(static_cast<int>(status));
    }
}

bool IsString(RegType type) {
    return type == RegType::Sz || type == RegType::ExpandSz;
}

// The store, open for one load, Save or close. Reads of a missing section or value give the
// default; a refused write raises the store's messages.
class SettingsStore {
  public:
    // Without create, a missing key is left missing (it reads as all defaults).
    explicit SettingsStore(platform::IRegistry& registry, bool create = true)
        : registry_(registry) {
        // A key that cannot be created shows when a section cannot be created.
        if (create) registry_.OpenKey(kRoot, kSettingsKey, /*create=*/true);
    }

    // nullopt for a value of the wrong kind.
    std::optional<Stored> Read(const SettingDef& def, const std::string& name) {
        Stored out = DefaultOf(def);
        const std::optional<RegValue> value = Query(def.section, name);
        if (!value) return out;
        if (def.kind == Kind::Text) {
            if (!IsString(value->type)) return std::nullopt;
            out.text = value->AsText();
            return out;
        }
        if (IsString(value->type)) {
            out.number = StrToIntDef(value->AsText(), out.number);
        } else if (value->type == RegType::Dword && value->data.size() == 4) {
            out.number = static_cast<std::int32_t>(value->AsDword());
        } else {
            return std::nullopt;
        }
        if (def.kind == Kind::Flag) out.number = out.number != 0 ? 1 : 0;
        return out;
    }

    void Write(const SettingDef& def, const std::string& name, const Stored& value) {
        const std::string key = SectionKey(def.section);
        if (registry_.OpenKey(kRoot, key, /*create=*/true) != RegStatus::Ok)
            throw std::runtime_error("Failed to create key " + std::string(def.section));
        RegValue data;
        switch (def.kind) {
            case Kind::Text:
                data = RegValue::Text(value.text);
                break;
            case Kind::Flag:
                data = RegValue::Text(value.number != 0 ? "1" : "0");
                break;
            case Kind::Integer: {
                const std::optional<RegValue> existing = Query(def.section, name);
                data = existing && IsString(existing->type)
                           ? RegValue::Text(std::to_string(value.number))
                           : RegValue::Dword(static_cast<std::uint32_t>(value.number));
                break;
            }
        }
        if (registry_.SetValue(kRoot, key, name, data) != RegStatus::Ok) throw SetFailed(name);
        if (firstWritten_.empty()) firstWritten_ = name;
    }

    // The name of the first value written: a group of writes that cannot be made durable fails
    // as that write would have failed without the grouping.
    const std::string& FirstWritten() const { return firstWritten_; }

    static std::runtime_error SetFailed(const std::string& name) {
        return std::runtime_error("Failed to set data for '" + name + "'");
    }

  private:
    static std::string SectionKey(std::string_view section) {
        return std::string(kSettingsKey) + "\\" + std::string(section);
    }

    std::optional<RegValue> Query(std::string_view section, const std::string& name) {
        RegValue value;
        if (registry_.QueryValue(kRoot, SectionKey(section), name, value) != RegStatus::Ok)
            return std::nullopt;
        return value;
    }

    platform::IRegistry& registry_;
    std::string firstWritten_;
};

// Writes a group of values as one durable write.
template <class WriteAll>
void WriteGroup(platform::IRegistry& registry, WriteAll writeAll) {
    platform::RegUpdate update(registry, kRoot);
    SettingsStore store(registry);
    writeAll(store);
    if (update.Commit() != RegStatus::Ok) throw SettingsStore::SetFailed(store.FirstWritten());
}

}  // namespace

void TForm1::FormCreate() {
    try {
        LoadSettings();
    } catch (const std::exception& e) {
        // The load stops here; the window still comes up with what was read.
        services_.app.ShowException(e.what());
    }
}

void TForm1::LoadSettings() {
    soundfile.clear();
    const bool readOnly = settingsUse_ == TSettingsUse::ReadOnly;
    SettingsStore store(services_.os.registry, /*create=*/!readOnly);
    // A value of the wrong kind does not stop the load: it reads as missing, and all of them are
    // named in one box afterwards.
    std::vector<std::string> unread;
    const auto read = [&](Setting id, int k = 0) {
        const SettingDef& def = Def(id);
        const std::string name = ValueName(def, k);
        std::optional<Stored> value = store.Read(def, name);
        if (value) return *value;
        unread.push_back("'" + name + "'");
        return DefaultOf(def);
    };

    autostart.SetChecked(read(Setting::Autostart).number != 0);
    startmin.SetChecked(read(Setting::Minimised).number != 0);
    firstshow = true;
    for (int k = 1; k <= kRowCount; ++k)
        UrlField(k).SetText(read(Setting::Url, k).text);
    for (int k = 1; k <= kRowCount; ++k)
        SearchField(k).SetText(read(Setting::Search, k).text);
    for (int k = 1; k <= kRowCount; ++k) {
        const int logic = read(Setting::Logic, k).number;
        LogicSelector(k).SetItemIndex(logic == 0 || logic == 1 ? logic : -1);
    }
    timerduration.SetValue(read(Setting::Duration).number);
    // alarmrepeat is not restored: it starts at 10 on every run.
    soundfile = read(Setting::SoundFile).text;

    if (!unread.empty()) {
        for (const std::string& name : unread)
            unreadSettings_ += (unreadSettings_.empty() ? "" : ", ") + name;
        std::string message = "Invalid data type for " + unreadSettings_;
        if (readOnly) {
            unreadSettings_.clear();  // nothing here writes over them
        } else {
            message += ". The other settings were read.";
            // Save writes every value, so the ones shown in place of these would replace them.
            try {
                const std::string where = KeepUnreadSettings();
                if (!where.empty())
                    message += " The " + std::string(kSettingsStore) + " as it was is kept as \"" +
                               where + "\", so nothing stored is lost when Save replaces it.";
            } catch (const std::exception& e) {
                message += std::string(" ") + e.what();
            }
        }
        services_.app.ShowException(message);
    }
    // A stored file that is gone leaves the built-in sound, and its name stays for Save.
    if (!soundfile.empty() && services_.os.files.FileSize(soundfile) >= 0)
        zcWavePlayer1.Wave().LoadFromFile(soundfile);
}

std::string TForm1::KeepUnreadSettings() {
    if (unreadSettings_.empty()) return {};
    std::string where;
    const RegStatus status = services_.os.registry.KeepCopy(kRoot, where);
    if (status != RegStatus::Ok && status != RegStatus::NotFound)
        throw std::runtime_error("The " + std::string(kSettingsStore) +
                                 " could not be kept aside (" + StatusText(status) +
                                 "), so nothing is saved over " + unreadSettings_ +
                                 " until it can be.");
    unreadSettings_.clear();
    return where;
}

// Tells where the stored file went when it was kept only now, at its first write.
void TForm1::WriteOverUnreadSettings() {
    const std::string where = KeepUnreadSettings();
    if (!where.empty())
        services_.app.MessageBox(
            "The " + std::string(kSettingsStore) +
                " as it was, with the values that could not be read, is kept as \"" + where + "\".",
            "Pagewarden", framework::mb::kOk | framework::mb::kIconInformation);
}

void TForm1::SaveSettings() {
    WriteOverUnreadSettings();
    WriteGroup(services_.os.registry, [this](SettingsStore& store) {
        for (const SettingDef& def : kSettings) {
            for (int k = 1; k <= (def.perRow ? kRowCount : 1); ++k) {
                Stored value;
                switch (def.id) {
                    case Setting::Url:
                        value.text = UrlField(k).Text();
                        break;
                    case Setting::Search:
                        value.text = SearchField(k).Text();
                        break;
                    case Setting::Logic:
                        value.number = LogicSelector(k).ItemIndex();
                        break;
                    case Setting::Duration:
                        value.number = timerduration.Value();
                        break;
                    case Setting::AlarmRepeat:
                        value.number = alarmrepeat.Value();
                        break;
                    case Setting::SoundFile:
                        value.text = soundfile;
                        break;
                    case Setting::Autostart:
                        value.number = autostart.Checked() ? 1 : 0;
                        break;
                    case Setting::Minimised:
                        value.number = startmin.Checked() ? 1 : 0;
                        break;
                }
                store.Write(def, ValueName(def, k), value);
            }
        }
    });
}

void TForm1::StoreStartupOptions() {
    WriteOverUnreadSettings();
    WriteGroup(services_.os.registry, [this](SettingsStore& store) {
        const SettingDef& minimised = Def(Setting::Minimised);
        store.Write(minimised, ValueName(minimised, 0), {{}, startmin.Checked() ? 1 : 0});
        const SettingDef& autostartDef = Def(Setting::Autostart);
        store.Write(autostartDef, ValueName(autostartDef, 0), {{}, autostart.Checked() ? 1 : 0});
    });
}

void TForm1::BitBtn4Click() {
    SaveSettings();
}

void TForm1::FormClose() {
    StoreStartupOptions();
}

}  // namespace pw::monitor
