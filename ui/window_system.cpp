#include "ui/window_system.h"

#include <QByteArray>
#include <QtGlobal>

namespace adc {

void prepareWindowSystem()
{
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", QByteArrayLiteral("1"));
}

} // namespace adc
