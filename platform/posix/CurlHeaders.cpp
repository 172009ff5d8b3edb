#include "platform/posix/CurlHeaders.h"

#include <algorithm>

#include "platform/Internet.h"

namespace pw::platform::posix {

namespace {

std::string_view TrimLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    return line;
}

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

int ParseStatus(std::string_view statusLine) {
    const auto space = statusLine.find(' ');
    if (space == std::string_view::npos) return 0;
    int code = 0;
    std::size_t digits = 0;
    for (std::size_t i = space + 1; i < statusLine.size() && digits < 3; ++i, ++digits) {
        const char c = statusLine[i];
        if (c < '0' || c > '9') return 0;
        code = code * 10 + (c - '0');
    }
    return digits == 3 ? code : 0;
}

}  // namespace

void ResponseHeaders::Clear() {
    raw_.clear();
    fields_.clear();
    received_ = 0;
    status_ = 0;
    started_ = false;
    complete_ = false;
}

ResponseHeaders::Line ResponseHeaders::Add(std::string_view line) {
    const std::string_view text = TrimLineEnd(line);
    const bool statusLine = text.starts_with("HTTP/");
    if (statusLine) {
        Clear();
        started_ = true;
        status_ = ParseStatus(text);
    } else if (!started_ || complete_) {
        return Line::Ignored;
    }
    received_ += line.size();
    if (received_ > inet::kMaxHeaderBlock) return Line::TooLarge;
    raw_.append(text).append("\r\n");
    if (statusLine) return Line::Started;
    if (text.empty()) {
        complete_ = true;
        return Line::Ended;
    }
    if ((text.front() == ' ' || text.front() == '\t') && !fields_.empty()) {
        std::string& value = fields_.back().second;
        const std::string_view more = Trim(text);
        if (!value.empty() && !more.empty()) value += ' ';
        value += more;
        return Line::Added;
    }
    const auto colon = text.find(':');
    if (colon != std::string_view::npos) {
        fields_.emplace_back(std::string(Trim(text.substr(0, colon))),
                             std::string(Trim(text.substr(colon + 1))));
    }
    return Line::Added;
}

std::optional<std::string> ResponseHeaders::Find(std::string_view name) const {
    for (const auto& [field, value] : fields_) {
        if (EqualsNoCase(field, name)) return value;
    }
    return std::nullopt;
}

}  // namespace pw::platform::posix
