#include "app/window/form_log.h"

namespace oxtiva
{

TLogger& FormLog()
{
    static TLogger logger(QStringLiteral("Form"));
    return logger;
}

} // namespace oxtiva
