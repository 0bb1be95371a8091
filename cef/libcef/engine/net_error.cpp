#include "libcef/engine/net_error.h"

#include <QHash>

namespace cef {

namespace {

struct NetErrorEntry {
  const char* name;
  int code;
};

const NetErrorEntry kNetErrors[] = {
#define NET_ERROR(label, value) {"ERR_" #label, value},
#include "include/base/internal/cef_net_error_list.h"
#undef NET_ERROR
};

}  // namespace

cef_errorcode_t NetErrorFromName(const QString& name) {
  static const QHash<QString, int> by_name = [] {
    QHash<QString, int> table;
    for (const NetErrorEntry& entry : kNetErrors)
      table.insert(QString::fromLatin1(entry.name), entry.code);
    return table;
  }();
  return static_cast<cef_errorcode_t>(by_name.value(name.trimmed(), ERR_NONE));
}

QString NetErrorToName(int code) {
  for (const NetErrorEntry& entry : kNetErrors) {
    if (entry.code == code)
      return QString::fromLatin1(entry.name);
  }
  return QStringLiteral("ERR_FAILED");
}

}  // namespace cef
