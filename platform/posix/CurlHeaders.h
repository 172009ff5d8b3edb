#pragma once
// The header block of one HTTP response, fed line by line as curl's header callback delivers it.
// A status line starts a new block, so only the last response of a redirect chain (or the one
// after "100 Continue") is kept.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pw::platform::posix {

class ResponseHeaders {
  public:
    enum class Line { Started, Added, Ended, Ignored, TooLarge };

    void Clear();
    // One line with or without its line end. A line after the end of the block (a trailer) is
    // ignored.
    Line Add(std::string_view line);

    bool Started() const { return started_; }
    bool Complete() const { return complete_; }
    // The status code of the status line, 0 when it has none.
    int StatusCode() const { return status_; }
    // Status line and header lines, each ended by CR LF, then the empty line.
    const std::string& Raw() const { return raw_; }
    // The first header of that name (any case), trimmed; folded lines are joined by a space.
    std::optional<std::string> Find(std::string_view name) const;

  private:
    std::string raw_;
    std::vector<std::pair<std::string, std::string>> fields_;
    std::size_t received_ = 0;
    int status_ = 0;
    bool started_ = false;
    bool complete_ = false;
};

}  // namespace pw::platform::posix
