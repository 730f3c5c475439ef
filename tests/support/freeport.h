#pragma once

#include <QtGlobal>

// A TCP port that nothing listens on right now, for a process under test.
quint16 freeLoopbackPort();
