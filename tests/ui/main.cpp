#include "suites.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int status = runForm1LayoutTests(argc, argv);
    status |= runForm1BehaviourTests(argc, argv);
    status |= runPanelCacheStyleTests(argc, argv);
    return status;
}
