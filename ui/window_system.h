#pragma once

namespace adc {

/// Settings for the window system that only take effect before the QApplication exists.
///
/// On X11 the window is sent to the server over the connection rather than through shared
/// memory: the boxes change in small patches many times a second, and the shared-memory path
/// waits for the server to finish with the last image before every paint, which costs more
/// than sending the patches. A QT_XCB_NO_MITSHM already set by the user is left as it is.
void prepareWindowSystem();

} // namespace adc
