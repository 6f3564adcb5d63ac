#include "user_name.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

QString CurrentUserName()
{
#ifdef Q_OS_UNIX
    if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
#endif
    const QByteArray name = qEnvironmentVariableIsSet("USER") ? qgetenv("USER") : qgetenv("USERNAME");
    return QString::fromLocal8Bit(name);
}
