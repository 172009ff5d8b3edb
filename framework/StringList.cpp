#include "framework/StringList.h"

#include <algorithm>

#include "framework/Streams.h"

namespace pw::framework {

namespace {

unsigned char Fold(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}

// Keeps notifications balanced when an Add inside a batch throws.
class UpdateScope {
  public:
    explicit UpdateScope(TStringList& list) : list_(list) { list_.BeginUpdate(); }
    ~UpdateScope() { list_.EndUpdate(); }
    UpdateScope(const UpdateScope&) = delete;
    UpdateScope& operator=(const UpdateScope&) = delete;

  private:
    TStringList& list_;
};

// A handler may reassign the member it was called through; call a copy.
void Fire(const std::function<void()>& handler) {
    if (!handler) return;
    const auto copy = handler;
    copy();
}

}  // namespace

void TStringList::IndexError(int i) {
    throw EStringListError("List index out of bounds (" + std::to_string(i) + ")");
}

const std::string& TStringList::Strings(int i) const {
    if (i < 0 || i >= Count()) IndexError(i);
    return items_[static_cast<std::size_t>(i)];
}

void TStringList::Put(int i, std::string_view s) {
    if (sorted_) throw EStringListError("Operation not allowed on sorted list");
    if (i < 0 || i >= Count()) IndexError(i);
    std::string value(s);  // s may view this very item
    Changing();
    items_[static_cast<std::size_t>(i)] = std::move(value);
    Changed();
}

int TStringList::Add(std::string_view s) {
    int index = Count();
    if (sorted_ && Find(s, index)) {
        if (Duplicates == dupIgnore) return index;
        if (Duplicates == dupError) throw EStringListError("String list does not allow duplicates");
    }
    InsertItem(index, s);
    return index;
}

void TStringList::Insert(int i, std::string_view s) {
    if (sorted_) throw EStringListError("Operation not allowed on sorted list");
    if (i < 0 || i > Count()) IndexError(i);
    InsertItem(i, s);
}

void TStringList::InsertItem(int i, std::string_view s) {
    if (i < 0 || i > Count()) IndexError(i);
    std::string value(s);  // s may view an item that the insertion moves
    Changing();
    items_.insert(items_.begin() + i, std::move(value));
    Changed();
}

void TStringList::Delete(int i) {
    if (i < 0 || i >= Count()) IndexError(i);
    Changing();
    items_.erase(items_.begin() + i);
    Changed();
}

void TStringList::Clear() {
    if (items_.empty()) return;
    Changing();
    items_.clear();
    Changed();
}

int TStringList::IndexOf(std::string_view s) const {
    if (sorted_) {
        int index = 0;
        return Find(s, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i) {
        if (CompareStrings(items_[static_cast<std::size_t>(i)], s) == 0) return i;
    }
    return -1;
}

bool TStringList::Find(std::string_view s, int& index) const {
    // Lower bound, so that among equal items the first one is found.
    int lo = 0;
    int hi = Count();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (CompareStrings(items_[static_cast<std::size_t>(mid)], s) < 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    index = lo;
    return lo < Count() && CompareStrings(items_[static_cast<std::size_t>(lo)], s) == 0;
}

void TStringList::SetSorted(bool value) {
    if (value == sorted_) return;
    if (value) SortItems();
    sorted_ = value;
}

void TStringList::Sort() {
    if (!sorted_) SortItems();
}

void TStringList::SortItems() {
    if (items_.size() < 2) return;
    Changing();
    std::stable_sort(
        items_.begin(), items_.end(),
        [this](const std::string& a, const std::string& b) { return CompareStrings(a, b) < 0; });
    Changed();
}

void TStringList::SetCaseSensitive(bool value) {
    if (value == caseSensitive_) return;
    caseSensitive_ = value;
    if (sorted_) SortItems();
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
    if (caseSensitive_) {
        const int c = a.compare(b);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = Fold(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

void TStringList::BeginUpdate() {
    if (updateCount_++ == 0) Fire(OnChanging);
}

void TStringList::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) Fire(OnChange);
}

void TStringList::Changing() {
    if (updateCount_ == 0) Fire(OnChanging);
}

void TStringList::Changed() {
    if (updateCount_ == 0) Fire(OnChange);
}

std::string TStringList::Text() const {
    std::size_t size = 0;
    for (const auto& s : items_)
        size += s.size() + 2;
    std::string text;
    text.reserve(size);
    for (const auto& s : items_) {
        text += s;
        text += "\r\n";
    }
    return text;
}

void TStringList::SetText(std::string_view text) {
    // text may view one of our own items, which Clear destroys.
    const std::string copy(text);
    UpdateScope scope(*this);
    Clear();
    std::size_t pos = 0;
    while (pos < copy.size()) {
        const std::size_t end = std::min(copy.find_first_of("\r\n", pos), copy.size());
        Add(std::string_view(copy).substr(pos, end - pos));
        pos = end;
        if (pos < copy.size() && copy[pos] == '\r') ++pos;
        if (pos < copy.size() && copy[pos] == '\n') ++pos;
    }
}

void TStringList::AddStrings(const TStringList& other) {
    UpdateScope scope(*this);
    if (&other == this) {
        // Adding a list to itself must see the items it had at the start.
        const std::vector<std::string> source = items_;
        for (const auto& s : source)
            Add(s);
        return;
    }
    for (const auto& s : other.items_)
        Add(s);
}

void TStringList::LoadFromFile(const std::string& fileName) {
    TMemoryStream stream;
    stream.LoadFromFile(fileName);
    SetText(stream.View());
}

void TStringList::SaveToFile(const std::string& fileName) const {
    const std::string text = Text();
    TFileStream file(fileName, FileMode::Create);
    file.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

}  // namespace pw::framework
