#pragma once

// Small helpers the set-up pages share: their texts, labels and explanations.

#include "platform-ui/Controls.h"
#include "platform-ui/Fonts.h"

#include <QLabel>
#include <QString>

namespace PLRPublishSetupPageSupport {

inline QString latin(const char* text) { return QString::fromLatin1(text); }

inline const QString kUpdateError = QStringLiteral("An Error occurred updating your account. Try again in a moment");
inline const QString kPluginHelpPath = QStringLiteral("en/articles/2866370-pellora-wordpress-plugin");

inline platform::ui::TextField* label(const QString& text, QWidget* parent, double size = 12,
                                      platform::ui::FontWeight weight = platform::ui::FontWeight::Regular)
{
    auto* field = platform::ui::TextField::labelWithString(text, parent);
    field->setFont(platform::ui::systemFont(size, weight));
    return field;
}

// An explanation that wraps to the page's width.
inline QLabel* paragraph(const QString& text, QWidget* parent, const QColor& colour = QColor(64, 64, 64))
{
    auto* body = new QLabel(text, parent);
    body->setWordWrap(true);
    body->setFont(platform::ui::systemFont(12));
    QPalette palette = body->palette();
    palette.setColor(QPalette::WindowText, colour);
    body->setPalette(palette);
    return body;
}

} // namespace PLRPublishSetupPageSupport
