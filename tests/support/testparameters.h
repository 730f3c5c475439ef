#pragma once

#include <QtGlobal>

// A count a long run can raise from the environment (scripts/soak.sh);
// unset or unreadable, the CI default stands.
quint32 testParameter(const char* name, quint32 ciDefault);
