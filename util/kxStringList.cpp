#include <fstream>
#include <utility>

#include "util/kxUtilsText.h"

namespace pw {

int TkxStringList::Add(std::string_view s) {
    // A limit of 0 (or below) keeps nothing.
    if (MaxCount <= 0) return -1;
    int index = Count();
    if (Sorted() && Find(s, index)) {
        if (Duplicates == framework::dupIgnore) return index;
        if (Duplicates == framework::dupError) {
            throw framework::EStringListError("String list does not allow duplicates");
        }
    }
    // s may view the item about to be dropped.
    const std::string value(s);
    // A loop rather than one deletion, so a limit lowered on a full list holds again.
    while (Count() >= MaxCount) {
        DeleteOldest();
        if (index > 0) --index;
    }
    if (!Sorted()) index = Count();
    InsertItem(index, value);
    return index;
}

void TkxStringList::DeleteOldest() {
    if (Count() == 0) return;
    // Dropping the oldest item is part of an add, not a change of its own; the handlers come back
    // even when the deletion throws.
    struct Detach {
        TkxStringList& list;
        std::function<void()> change = std::exchange(list.OnChange, nullptr);
        std::function<void()> changing = std::exchange(list.OnChanging, nullptr);
        ~Detach() {
            list.OnChange = std::move(change);
            list.OnChanging = std::move(changing);
        }
    } detach{*this};
    Delete(0);
}

int TkxStringList::SeparatorPos(int i) const {
    const std::string& item = Strings(i);
    if (SeparatorFromRight) return LastPos(Separator, item);
    if (Separator.empty()) return 0;
    const std::size_t p = item.find(Separator);
    return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

std::string TkxStringList::GetName(int i) const {
    const int p = SeparatorPos(i);
    const std::string& item = Strings(i);
    return p == 0 ? item : item.substr(0, static_cast<std::size_t>(p - 1));
}

std::string TkxStringList::GetValue(int i) const {
    const int p = SeparatorPos(i);
    if (p == 0) return {};
    return Strings(i).substr(static_cast<std::size_t>(p - 1) + Separator.size());
}

void TkxStringList::SetValue(int i, std::string_view value) {
    if (SeparatorPos(i) == 0) return;
    Put(i, GetName(i) + Separator + std::string(value));
}

void TkxStringList::SaveValuesToFile(const std::string& fileName) const {
    std::ofstream file;
    for (int i = 0; i < Count(); ++i) {
        const std::string value = GetValue(i);
        if (value.empty()) continue;
        if (!file.is_open()) {
            file.open(fileName, std::ios::binary | std::ios::trunc);
            // Nothing can be written; the list has no way to say so and must not throw.
            if (!file.is_open()) return;
        }
        file << value << "\r\n";
    }
}

}  // namespace pw
