#include "sound/zMM.h"

#include <utility>

namespace pw::sound {

// --- TzcWave ---

void TzcWave::Changed() {
    if (OnChange) OnChange(*this);
}

void TzcWave::LoadFromStream(framework::TStream& stream) {
    const std::int64_t size = stream.Size();
    if (size < 0) throw framework::EReadError("Stream read error");
    // Read into a fresh buffer, so a short stream leaves the old sound intact.
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    stream.ReadBuffer(bytes.data(), size);
    data_ = std::move(bytes);
    Changed();
}

void TzcWave::SaveToStream(framework::TStream& stream) const {
    stream.WriteBuffer(data_.data(), static_cast<std::int64_t>(data_.size()));
}

void TzcWave::LoadFromFile(const std::string& fileName) {
    framework::TFileStream file(fileName, framework::FileMode::OpenRead);
    LoadFromStream(file);
}

void TzcWave::SaveToFile(const std::string& fileName) const {
    framework::TFileStream file(fileName, framework::FileMode::Create);
    SaveToStream(file);
}

void TzcWave::Assign(const TzcWave* source) {
    if (source != nullptr && source != this) data_ = source->data_;
    Changed();
}

// --- TzcWavePlayer ---

namespace {

// The sound layer's flag of each option, by ordinal; zcwpoSync adds no bit.
constexpr std::uint16_t kOptionFlags[] = {
    static_cast<std::uint16_t>(platform::kSndSync),
    static_cast<std::uint16_t>(platform::kSndAsync),
    static_cast<std::uint16_t>(platform::kSndNoDefault),
    static_cast<std::uint16_t>(platform::kSndLoop),
    static_cast<std::uint16_t>(platform::kSndNoStop),
};

// The hourglass for the time of one call into the sound layer, restored however it ends.
class BusyCursor {
  public:
    explicit BusyCursor(framework::IBusyCursor& cursor) : cursor_(cursor) {
        cursor_.SetBusyCursor(true);
    }
    ~BusyCursor() { cursor_.SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

  private:
    framework::IBusyCursor& cursor_;
};

}  // namespace

TzcWavePlayer::TzcWavePlayer(framework::IBusyCursor& cursor, platform::ISound& sound)
    : cursor_(cursor), sound_(sound) {}

TzcWavePlayer::~TzcWavePlayer() {
    sound_.PlayWave({}, 0);
}

void TzcWavePlayer::SetOptions(TOptionsSet options) {
    if (options == options_) return;
    options_ = options;
    flags_ = platform::kSndMemory;
    for (std::uint8_t o = zcwpoSync; o <= zcwpoNoStop; ++o) {
        if (options.Contains(static_cast<TWavePlayOpt>(o))) flags_ |= kOptionFlags[o];
    }
}

void TzcWavePlayer::Play() {
    if (!Enabled || wave_.IsEmpty()) return;
    Fire(BeforePlay);
    {
        BusyCursor busy(cursor_);
        // The result is not looked at: a sound that cannot be played is no error of the caller.
        sound_.PlayWave(wave_.Bytes(), flags_);
    }
    if (!options_.Contains(zcwpoSync)) return;
    Fire(AfterPlay ? AfterPlay : StartedPlay);
}

void TzcWavePlayer::Fire(const std::function<void(TzcWavePlayer&)>& event) {
    // A copy: the handler may replace itself.
    if (auto handler = event) handler(*this);
}

void TzcWavePlayer::Stop() {
    BusyCursor busy(cursor_);
    sound_.PlayWave({}, 0);
}

}  // namespace pw::sound
