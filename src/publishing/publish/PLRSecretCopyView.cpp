#include "publishing/publish/PLRSecretCopyView.h"

#include "platform-ui/Cursor.h"
#include "platform-ui/Layer.h"
#include "platform/Dispatch.h"
#include "publishing/publish/PLRPublishSetupPageSupport.h"
#include "platform/Clock.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QVBoxLayout>

using namespace platform::ui;
using namespace PLRPublishSetupPageSupport;

PLRSecretCopyView::PLRSecretCopyView(QWidget* parent) : View(parent)
{
    setWantsLayer(true);
    layer()->setCornerRadius(5.0);
    layer()->setBackgroundColor(Color(0.59, 0.59, 0.59, 0.0));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 8, 10, 8);
    m_copyLabel = label(QString(), this, 13);
    m_copyLabel->setFont(QFont(QStringLiteral("SFMono-Regular"), 13));
    m_copyLabel->setIdentifier(QStringLiteral("secretLabel"));
    m_infoLabel = label(QStringLiteral("Your access key"), this, 11);
    m_infoLabel->setTextColor(Color(0.4, 0.4, 0.4));
    column->addWidget(m_copyLabel);
    column->addWidget(m_infoLabel);
    setCursor(Qt::PointingHandCursor);
}

void PLRSecretCopyView::updateTrackingAreas()
{
    View::updateTrackingAreas();
    if (m_tracking)
        return;
    m_tracking = true;
    addTrackingArea(bounds(), TrackingMouseEnteredAndExited | TrackingActiveAlways);
}

void PLRSecretCopyView::showInfo(const QString& text, double delay)
{
    QPointer<PLRSecretCopyView> self(this);
    m_steps.push_back(platform::Clock::shared().after(delay, this, [self, text] {
        if (!self)
            return;
        self->m_infoLabel->setStringValue(text);
        self->m_infoLabel->setAlphaValue(1.0);
    }));
}

void PLRSecretCopyView::mouseEntered(const MouseEvent&)
{
    layer()->setBackgroundColor(Color(0.59, 0.59, 0.59, 0.3));
    m_prevInfoText = m_infoLabel->stringValue();
    m_infoLabel->setAlphaValue(0.0);
    showInfo(QStringLiteral("Click to copy to clipboard"), 0.4);
}

void PLRSecretCopyView::mouseExited(const MouseEvent&)
{
    for (const platform::Cancellable& step : m_steps)
        step.cancel();
    m_steps.clear();
    layer()->setBackgroundColor(Color(0.59, 0.59, 0.59, 0.0));
    m_infoLabel->setStringValue(m_prevInfoText);
    m_infoLabel->setAlphaValue(1.0);
}

void PLRSecretCopyView::mouseUp(const MouseEvent&)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->clear();
        clipboard->setText(m_copyLabel->stringValue());
    }
    for (const platform::Cancellable& step : m_steps)
        step.cancel();
    m_steps.clear();
    m_infoLabel->setAlphaValue(0.0);
    showInfo(QStringLiteral("Copied to clipboard!"), 0.4);
    QPointer<PLRSecretCopyView> self(this);
    m_steps.push_back(platform::Clock::shared().after(1.4, this, [self] {
        if (self)
            self->m_infoLabel->setAlphaValue(0.0);
    }));
    const QString previous = m_prevInfoText.isEmpty() ? QStringLiteral("Your access key") : m_prevInfoText;
    showInfo(previous, 1.8);
}
