#include "services/web-services/PLREmailSender.h"

#include "platform/Log.h"
#include "platform/Workspace.h"

#include <QFileInfo>
#include <QStringList>

bool PLREmailSender::sendEmailTo(const QString& recipient, const QString& subject, const QString& body,
                                 const QString& attachmentPath)
{
    if (recipient.trimmed().isEmpty() || recipient.startsWith(QLatin1Char('-'))) {
        PLR_LOG_ERROR(QStringLiteral("Not a mail address: %1").arg(recipient));
        return false;
    }
    QStringList arguments{QStringLiteral("--utf8"), QStringLiteral("--subject"), subject, QStringLiteral("--body"), body};
    if (!attachmentPath.isEmpty() && QFileInfo(attachmentPath).isFile())
        arguments << QStringLiteral("--attach") << attachmentPath;
    arguments << recipient;
    const bool started = platform::Workspace::shared().launchDetached(QStringLiteral("xdg-email"), arguments);
    if (!started)
        PLR_LOG_ERROR(QStringLiteral("The mail program could not be started for a message to %1").arg(recipient));
    return started;
}
