#pragma once
// The words FailureReason gives for each way a transfer can fail, from one table.

#include <cstdint>
#include <string>

#include "platform/Internet.h"

namespace pw::http {

// The reason for an error of the internet layer; empty for none.
std::string ReasonForError(const platform::InternetError& error);
// "connection lost after 600 of 1000 bytes", with "?" for a length the server did not announce.
std::string ConnectionLostReason(std::int64_t bytesRead, std::int64_t contentLength,
                                 bool lengthAnnounced);

}  // namespace pw::http
