// The settings store: an ini file's layout in the registry of the current user. One key stands
// for the file, a sub-key for each section, a named value for each entry.

#include <optional>
#include <stdexcept>

#include "monitor/Unit1.h"
#include "util/kxUtilsText.h"

namespace pw::monitor {

namespace {

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

bool IsString(RegType type) {
    return type == RegType::Sz || type == RegType::ExpandSz;
}

// The store, open for one load, Save or close. Reads of a missing section or value give the
// default; a value of the wrong kind and a refused write raise the store's messages.
class SettingsStore {
  public:
    explicit SettingsStore(platform::IRegistry& registry) : registry_(registry) {
        // A key that cannot be created shows when a section cannot be created.
        registry_.OpenKey(kRoot, kSettingsKey, /*create=*/true);
    }

    Stored Read(const SettingDef& def, const std::string& name) {
        Stored out;
        const std::optional<RegValue> value = Query(def.section, name);
        if (def.kind == Kind::Text) {
            if (!value) return out;
            if (!IsString(value->type)) throw InvalidType(name);
            out.text = value->AsText();
            return out;
        }
        out.number = def.kind == Kind::Flag ? 0 : def.defaultNumber;
        if (!value) return out;
        if (IsString(value->type)) {
            out.number = StrToIntDef(value->AsText(), out.number);
        } else if (value->type == RegType::Dword && value->data.size() == 4) {
            out.number = static_cast<std::int32_t>(value->AsDword());
        } else {
            throw InvalidType(name);
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
    static std::runtime_error InvalidType(const std::string& name) {
        return std::runtime_error("Invalid data type for '" + name + "'");
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
    SettingsStore store(services_.os.registry);
    const auto read = [&](Setting id, int k = 0) {
        const SettingDef& def = Def(id);
        return store.Read(def, ValueName(def, k));
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
    // A stored file that is gone leaves the built-in sound, and its name stays for Save.
    if (!soundfile.empty() && services_.os.files.FileSize(soundfile) >= 0)
        zcWavePlayer1.Wave().LoadFromFile(soundfile);
}

void TForm1::SaveSettings() {
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
