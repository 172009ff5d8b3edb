// The window's "Save" into a fresh config folder: every write made durable on its own, the same
// writes grouped in one update, and, as the floor, the same file written once with plain stdio.
// Durability costs wall time, not CPU time, so real time is measured.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>

#include "platform/Registry.h"
#include "platform/posix/RegistryStore.h"

namespace {

namespace fs = std::filesystem;
using pw::platform::IRegistry;
using pw::platform::RegRoot;
using pw::platform::RegStatus;
using pw::platform::RegUpdate;
using pw::platform::RegValue;
using pw::platform::posix::RegistryStore;

constexpr RegRoot kCU = RegRoot::CurrentUser;
constexpr const char* kStoreKey = "Software\\Quillmere\\Pagewarden\\watchset.ini";
constexpr int kValues = 65;

// A new temporary folder per save, so every run starts from nothing as a first save does.
class Scratch {
  public:
    Scratch() {
        std::string name = (fs::temp_directory_path() / "pw-bench-XXXXXX").string();
        if (!::mkdtemp(name.data())) throw std::runtime_error("cannot create a temporary folder");
        root_ = name;
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    fs::path Config() const { return root_ / "config" / "pagewarden"; }

  private:
    fs::path root_;
};

// Save's writes in Save's order: 20 URLs, 20 search texts, 20 logic numbers, then the two timer
// values, the alarm file and the two start-up options. The store key and each section are
// created as they are first needed, as on a first save: 7 key writes besides the values.
bool Save(IRegistry& reg) {
    bool ok = reg.OpenKey(kCU, kStoreKey, true) == RegStatus::Ok;
    int written = 0;
    auto section = [&](const char* name) {
        std::string path = std::string(kStoreKey) + "\\" + name;
        ok = ok && reg.OpenKey(kCU, path, true) == RegStatus::Ok;
        return path;
    };
    auto set = [&](const std::string& path, const std::string& name, const RegValue& value) {
        ok = ok && reg.SetValue(kCU, path, name, value) == RegStatus::Ok;
        ++written;
    };
    const std::string urls = section("URLs");
    for (int k = 1; k <= 20; ++k)
        set(urls, "URL" + std::to_string(k),
            RegValue::Text("https://www.example.org/shop/item-" + std::to_string(k * 7919) +
                           "/availability.html"));
    const std::string search = section("Search");
    for (int k = 1; k <= 20; ++k)
        set(search, "Search" + std::to_string(k),
            RegValue::Text("Currently out of stock (" + std::to_string(k) + ")"));
    const std::string logic = section("Logic");
    for (int k = 1; k <= 20; ++k)
        set(logic, "logic" + std::to_string(k), RegValue::Dword(k % 2));
    const std::string timer = section("Timer");
    set(timer, "Duration", RegValue::Dword(60));
    set(timer, "Alarmrepeat", RegValue::Dword(10));
    const std::string alarm = section("Alarm");
    set(alarm, "filename", RegValue::Text("/home/user/Sounds/alarm.wav"));
    const std::string startup = section("Startup");
    set(startup, "Autostart", RegValue::Text("0"));
    set(startup, "Minimised", RegValue::Text("1"));
    return ok && written == kValues;
}

// Runs `save(folder)` once per iteration, each into its own fresh folder; making and removing
// the folders is not timed.
template <class F>
void RunFresh(benchmark::State& state, F save) {
    for (auto _ : state) {
        state.PauseTiming();
        auto scratch = std::make_unique<Scratch>();
        state.ResumeTiming();
        const bool ok = save(scratch->Config());
        state.PauseTiming();
        scratch.reset();
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError("the save failed");
            break;
        }
    }
    state.counters["values"] = kValues;
}

void BM_SaveWriteThrough(benchmark::State& state) {
    RunFresh(state, [](const fs::path& config) {
        RegistryStore store(config, nullptr);
        return Save(store);
    });
}

void BM_SaveGrouped(benchmark::State& state) {
    RunFresh(state, [](const fs::path& config) {
        RegistryStore store(config, nullptr);
        RegUpdate update(store, kCU);
        const bool ok = Save(store);
        return update.Commit() == RegStatus::Ok && ok;
    });
}

// The file a save produces, made once by the store itself.
std::string SavedText() {
    Scratch scratch;
    RegistryStore store(scratch.Config(), nullptr);
    if (!Save(store)) throw std::runtime_error("the reference save failed");
    std::ifstream in(store.FileOf(kCU), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The floor: the same bytes written once, durably, with nothing else.
void BM_SaveBaselinePlainFile(benchmark::State& state) {
    const std::string text = SavedText();
    RunFresh(state, [&](const fs::path& config) {
        std::error_code ec;
        fs::create_directories(config, ec);
        const fs::path file = config / "HKCU.reg", temp = config / "HKCU.reg.new";
        std::FILE* f = std::fopen(temp.c_str(), "wb");
        if (!f) return false;
        bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        ok = std::fflush(f) == 0 && ok;
        ok = ::fsync(::fileno(f)) == 0 && ok;
        ok = std::fclose(f) == 0 && ok;
        return ok && std::rename(temp.c_str(), file.c_str()) == 0;
    });
    state.counters["file_bytes"] = static_cast<double>(text.size());
}

BENCHMARK(BM_SaveWriteThrough)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_SaveGrouped)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_SaveBaselinePlainFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
