#pragma once

#include "spool/spool.h"

#include <functional>

// The files in which an earlier version kept a download pass, for a site
// that upgrades in the middle of one: Scarico.txt (collected), ScaricoOK.txt
// with ScaricoOK.pos (ordered, posted up to a line), and
// ScaricoInCancellazione.txt (.new while it was written: the listing whose
// deletion the terminal had not confirmed).
namespace LegacyPass {

// The line of a pass that the embedded site database recorded as committed
// with its token, or -1.
using PostedMark = std::function<qint64(int token)>;

// What those files hold that was never posted, each record once.
Spool::Legacy read(const QString& folder, const PostedMark& postedMark);
// The files only the earlier version used; Scarico.txt and ScaricoOK.txt stay
// as the views they still are.
void removeFiles(const QString& folder);

} // namespace LegacyPass
