#include "platform/Bundle.h"

namespace platform::bundle {

QString identifier() { return QStringLiteral(PELLORA_BUNDLE_IDENTIFIER); }
QString version() { return QStringLiteral(PELLORA_VERSION); }
QString build() { return QStringLiteral(PELLORA_BUILD_NUMBER); }

} // namespace platform::bundle
