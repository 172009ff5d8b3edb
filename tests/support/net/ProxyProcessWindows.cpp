// tinyproxy is a Linux program that a Windows test cannot start and stop as its own child:
// Available() says so, and the proxy tests skip on Windows.
#include <stdexcept>

#include "tests/support/net/ProxyProcess.h"

namespace pw::test {

bool ProxyProcess::Available() {
    return false;
}

ProxyProcess::ProxyProcess() : ProxyProcess(Options{}) {}

ProxyProcess::ProxyProcess(Options) {
    throw std::runtime_error("no proxy process on Windows: check ProxyProcess::Available()");
}

ProxyProcess::~ProxyProcess() = default;

std::string ProxyProcess::Address() const {
    return {};
}

std::string ProxyProcess::Log() const {
    return {};
}

}  // namespace pw::test
