#include "util/gui/announced_role.h"

#include <QAccessibleWidget>
#include <QWidget>
#include <map>
#include <string>

namespace zafirel {

namespace {

std::map<std::string, QAccessible::Role>& Roles() {
  static std::map<std::string, QAccessible::Role> roles;
  return roles;
}

QAccessibleInterface* InRole(const QString& className, QObject* object) {
  const auto found = Roles().find(className.toStdString());
  if (found == Roles().end() || !object->isWidgetType()) return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), found->second);
}

}  // namespace

void AnnounceAs(const QMetaObject& type, QAccessible::Role role) {
  static const bool installed = (QAccessible::installFactory(InRole), true);
  (void)installed;
  Roles()[type.className()] = role;
}

}  // namespace zafirel
