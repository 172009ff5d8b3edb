#pragma once
// The size an image file declares in its header, read without decoding the pixels. The headless
// back end decides with it what counts as a picture; the Qt back end decodes for real.

#include <optional>
#include <span>

namespace pw::framework {

struct TImageSize {
    int width = 0;
    int height = 0;

    bool operator==(const TImageSize&) const = default;
};

// The width and height of a PNG (from its IHDR chunk) or a BMP (from its info header, bottom-up
// or top-down); nullopt for anything else, a cut-off header, or a size of 0.
std::optional<TImageSize> ImageFileSize(std::span<const unsigned char> image);

}  // namespace pw::framework
