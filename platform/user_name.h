#pragma once
#include <QString>

// The login name of the effective user, or "" when it cannot be found.
QString CurrentUserName();
