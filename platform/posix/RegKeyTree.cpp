#include "platform/posix/RegKeyTree.h"

namespace pw::platform::posix {
namespace {

// Windows' own limit on key nesting; it also bounds the recursion over a hand-made file.
constexpr std::size_t kMaxDepth = 512;

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Fold(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

bool PrintableName(std::string_view s) {
    for (char c : s)
        if (IsControlChar(c)) return false;
    return true;
}

}  // namespace

bool IsControlChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

bool StartsWithFolded(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(s[i]) != Lower(prefix[i])) return false;
    return true;
}

bool ValidValueName(std::string_view name) {
    return name.size() <= kRegMaxNameBytes && PrintableName(name);
}

bool SplitKeyPath(std::string_view path, std::vector<std::string_view>& parts) {
    parts.clear();
    if (path.empty()) return true;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view part = path.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part.empty() || part.size() > kRegMaxKeyNameBytes || !PrintableName(part)) return false;
        parts.push_back(part);
        if (parts.size() > kMaxDepth) return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

RegKey RegKey::Clone() const {
    RegKey k(name);
    k.values = values;
    k.valueIndex = valueIndex;
    for (const auto& [folded, child] : children)
        k.children.emplace(folded, std::make_unique<RegKey>(child->Clone()));
    return k;
}

RegKey* RegKey::Child(std::string_view n) const {
    const auto it = children.find(Fold(n));
    return it == children.end() ? nullptr : it->second.get();
}

RegKey& RegKey::ChildOrNew(std::string_view n, bool& created) {
    auto [it, inserted] = children.try_emplace(Fold(n));
    if (inserted) {
        it->second = std::make_unique<RegKey>(std::string(n));
        created = true;
    }
    return *it->second;
}

bool RegKey::EraseChild(std::string_view n) {
    return children.erase(Fold(n)) != 0;
}

const RegValue* RegKey::Find(std::string_view n) const {
    const auto it = valueIndex.find(Fold(n));
    return it == valueIndex.end() ? nullptr : &values[it->second].second;
}

void RegKey::Set(std::string_view n, const RegValue& v) {
    auto [it, inserted] = valueIndex.try_emplace(Fold(n), values.size());
    if (inserted)
        values.emplace_back(std::string(n), v);
    else
        values[it->second].second = v;
}

bool RegKey::Erase(std::string_view n) {
    const auto it = valueIndex.find(Fold(n));
    if (it == valueIndex.end()) return false;
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(it->second));
    valueIndex.clear();
    for (std::size_t i = 0; i < values.size(); ++i)
        valueIndex.emplace(Fold(values[i].first), i);
    return true;
}

const RegKey* FindKey(const RegKey& root, const std::vector<std::string_view>& parts) {
    const RegKey* k = &root;
    for (std::string_view p : parts)
        if (!(k = k->Child(p))) return nullptr;
    return k;
}

RegKey* FindKey(RegKey& root, const std::vector<std::string_view>& parts) {
    return const_cast<RegKey*>(FindKey(static_cast<const RegKey&>(root), parts));
}

}  // namespace pw::platform::posix
