// The role a screen reader announces a widget class in, where Qt's own
// guess is wrong: a plain widget at the top would be a nameless pane, the
// program's message box a plain dialog.
#pragma once

#include <QAccessible>
#include <QMetaObject>

namespace zafirel {

// Widgets of the class are announced in the role from now on.
void AnnounceAs(const QMetaObject& type, QAccessible::Role role);

}  // namespace zafirel
