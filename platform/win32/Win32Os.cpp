#include "platform/win32/Win32Os.h"

#include <utility>

#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32System.h"

namespace pw::platform::win32 {

Win32Os::Win32Os() : Win32Os(Options{}) {}

Win32Os::Win32Os(Options options)
    : registry_(std::make_unique<Win32Registry>(Win32Registry::Options{
          std::move(options.configFolder), std::move(options.ownKey), options.readOnlySettings})),
      files_(std::make_unique<Win32Files>()),
      shell_(std::make_unique<Win32Shell>()),
      system_(std::make_unique<Win32System>()),
      os_{*registry_, *files_, *shell_, *system_} {}

Win32Os::~Win32Os() = default;

}  // namespace pw::platform::win32
