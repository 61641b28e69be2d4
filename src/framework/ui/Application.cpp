#include "Application.h"

namespace fw {

FW_CLASS_TABLE(Application, Object, "Application")
{
    for (const char* e : {"Open", "Close", "Activate", "Deactivate", "EnableMenuItems", "NewDocument",
                          "OpenDocument", "UnhandledException"})
        t.DeclareEvent(e);
}

} // namespace fw
