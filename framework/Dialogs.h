#pragma once
// Message boxes: buttons and icons numbered as the Windows message-box flags, answers as its
// results, so stored numbers and callers' flag words stay as designed.

#include <cstdint>

namespace pw::framework {

namespace mb {
inline constexpr std::uint32_t kOk = 0x00;
inline constexpr std::uint32_t kOkCancel = 0x01;
inline constexpr std::uint32_t kYesNoCancel = 0x03;
inline constexpr std::uint32_t kYesNo = 0x04;
inline constexpr std::uint32_t kButtonsMask = 0x0F;
inline constexpr std::uint32_t kIconStop = 0x10;
inline constexpr std::uint32_t kIconQuestion = 0x20;
inline constexpr std::uint32_t kIconWarning = 0x30;
inline constexpr std::uint32_t kIconInformation = 0x40;
inline constexpr std::uint32_t kIconMask = 0xF0;
// Above every window of every program (a back end without that keeps it above its own).
inline constexpr std::uint32_t kSystemModal = 0x1000;
}  // namespace mb

enum class DialogResult : int { None = 0, Ok = 1, Cancel = 2, Yes = 6, No = 7 };

}  // namespace pw::framework
