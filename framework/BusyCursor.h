#pragma once
// The hourglass, on its own: the wave player shows it around a call that may block, and needs
// nothing else of the application. It is not part of IUiThread because it is screen state, not a
// service of the message loop: a worker or a wait never touches it, and a loop with no screen
// should not have to pretend to have a cursor. UI thread only.

namespace pw::framework {

class IBusyCursor {
  public:
    virtual ~IBusyCursor() = default;
    // Shows the hourglass while busy is true; calls nest, each true ended by one false.
    virtual void SetBusyCursor(bool busy) = 0;
};

}  // namespace pw::framework
