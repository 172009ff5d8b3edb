#pragma once
// What a failed curl transfer means to the caller of the internet layer: one table from curl's
// result codes to the layer's errors.

#include <curl/curl.h>

#include "platform/Internet.h"

namespace pw::platform::posix {

// sslVerifyResult: the certificate check's result (CURLINFO_SSL_VERIFYRESULT), which tells the
// reasons of a refused certificate apart.
inet::Error ErrorFromCurl(CURLcode code, long sslVerifyResult);

}  // namespace pw::platform::posix
