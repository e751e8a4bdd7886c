#include "panels/gallery/PLRPreviewPanel.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform-ui/AttributedString.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"
#include "platform-ui/Window.h"
#include "store/persistance-store/source/PLRImageUtilities.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"

#include <QApplication>
#include <QCloseEvent>
#include <QImageReader>
#include <QKeyEvent>
#include <QVBoxLayout>

using namespace platform::ui;

namespace {
PLRPreviewPanel* g_panel = nullptr;
constexpr double kTitleBand = 34.0;
} // namespace

// ---------------------------------------------------------------- content

PLRPreviewContentView::PLRPreviewContentView(QWidget* parent) : View(parent) {}

void PLRPreviewContentView::setPicture(const QImage& picture, const QString& title, const QString& message)
{
    m_picture = picture;
    m_title = title;
    m_message = message;
    update();
}

void PLRPreviewContentView::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF b = bounds();
    context.fillRect(b, Color(0.13, 0.13, 0.14));
    const QRectF area = b.adjusted(16, 16, -16, -kTitleBand);
    if (!m_picture.isNull() && area.width() > 0 && area.height() > 0) {
        const QSizeF size = pointSize(m_picture).scaled(area.size(), Qt::KeepAspectRatio);
        const QRectF target(QPointF(area.center().x() - size.width() / 2.0, area.center().y() - size.height() / 2.0), size);
        context.setHighQualityInterpolation(true);
        context.drawImage(m_picture, target);
    }
    if (!m_message.isEmpty()) {
        AttributedString text(m_message, {{kFontAttributeName, systemFont(13)},
                                          {kForegroundColorAttributeName, QVariant::fromValue(Color(0.85, 0.85, 0.85))},
                                          {kParagraphStyleAttributeName, QVariant::fromValue(ParagraphStyle{TextAlignment::Center, 0.0})}});
        context.drawAttributedString(text, QRectF(area.x(), area.center().y() - 10, area.width(), 24));
    }
    if (!m_title.isEmpty()) {
        AttributedString text(m_title, {{kFontAttributeName, systemFont(12)},
                                        {kForegroundColorAttributeName, QVariant::fromValue(Color(0.9, 0.9, 0.9))},
                                        {kParagraphStyleAttributeName, QVariant::fromValue(ParagraphStyle{TextAlignment::Center, 0.0})}});
        context.drawAttributedString(text, QRectF(16, b.height() - kTitleBand + 9, b.width() - 32, 20));
    }
}

// ---------------------------------------------------------------- panel

PLRPreviewPanel* PLRPreviewPanel::sharedPreviewPanel()
{
    if (!g_panel) {
        g_panel = new PLRPreviewPanel;
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
            delete g_panel;
            g_panel = nullptr;
        });
    }
    return g_panel;
}

bool PLRPreviewPanel::sharedPreviewPanelExists()
{
    return g_panel != nullptr;
}

PLRPreviewPanel::PLRPreviewPanel(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Preview"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_content = new PLRPreviewContentView(this);
    layout->addWidget(m_content);
    resize(720, 560);
    // On a small screen it is as large as the screen's free area, and within it.
    platform::ui::keepOnScreen(this);
    setFocusPolicy(Qt::StrongFocus);
}

void PLRPreviewPanel::togglePreviewPanel(PLRPreviewPanelController* controller)
{
    if (isVisible())
        orderOut();
    else
        makeKeyAndOrderFront(controller);
}

void PLRPreviewPanel::makeKeyAndOrderFront(PLRPreviewPanelController* controller)
{
    PLR_LOG_DEBUG(QStringLiteral("accept preview panel control"));
    if (controller != m_controller) {
        endControl();
        if (controller && controller->acceptsPreviewPanelControl(this)) {
            m_controller = controller;
            m_index = 0;
            controller->beginPreviewPanelControl(this);
        }
    }
    reloadData();
    show();
    raise();
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}

void PLRPreviewPanel::orderOut()
{
    hide();
    endControl();
    ++m_generation;
    m_loading = false;
}

void PLRPreviewPanel::endControl()
{
    PLRPreviewPanelController* controller = m_controller;
    m_controller = nullptr;
    if (controller)
        controller->endPreviewPanelControl(this);
    m_dataSource = nullptr;
    m_delegate = nullptr;
}

void PLRPreviewPanel::controllerWillGo(PLRPreviewPanelController* controller)
{
    if (m_controller != controller)
        return;
    m_controller = nullptr;
    m_dataSource = nullptr;
    m_delegate = nullptr;
    m_current.reset();
    hide();
}

void PLRPreviewPanel::reloadData()
{
    showCurrent();
}

void PLRPreviewPanel::setCurrentPreviewItemIndex(qint64 index)
{
    m_index = index;
    showCurrent();
}

void PLRPreviewPanel::showCurrent()
{
    const qint64 count = m_dataSource ? m_dataSource->numberOfPreviewItemsInPreviewPanel(this) : 0;
    ++m_generation;
    m_loading = false;
    if (count <= 0) {
        m_current.reset();
        m_content->setPicture(QImage(), QString(), QStringLiteral("No photo selected"));
        setWindowTitle(QStringLiteral("Preview"));
        return;
    }
    m_index = std::clamp<qint64>(m_index, 0, count - 1);
    m_current = m_dataSource->previewPanelPreviewItemAtIndex(this, m_index);
    if (!m_current) {
        m_content->setPicture(QImage(), QString(), QStringLiteral("No photo selected"));
        return;
    }
    const QString title = count > 1 ? QStringLiteral("%1 (%2 of %3)").arg(m_current->previewItemTitle()).arg(m_index + 1).arg(count)
                                    : m_current->previewItemTitle();
    setWindowTitle(m_current->previewItemTitle());
    const QImage thumbnail = m_current->previewImage(nullptr);
    if (m_current->fileDeleted()) {
        m_content->setPicture(thumbnail, title, QStringLiteral("This image cannot currently be located in the source folder."));
        return;
    }
    m_content->setPicture(thumbnail, title, QString());
    // The full picture is read off the main thread; an answer for an earlier photo is dropped.
    const quint64 generation = m_generation;
    const QString path = m_current->path();
    m_loading = true;
    QPointer<PLRPreviewPanel> self(this);
    platform::dispatchGlobal([self, generation, path, title] {
        // Upright and in sRGB, whatever its orientation and colour profile.
        QString error;
        PLRPhotoProblem problem = PLRPhotoProblem::None;
        const QImage picture = plr_image::decodePhotoUpright(path, 0, [](const QSize& size) {
            if (std::max(size.width(), size.height()) > kMaximumDecodeEdge)
                return size.scaled(kMaximumDecodeEdge, kMaximumDecodeEdge, Qt::KeepAspectRatio);
            return size;
        }, &error, &problem);
        platform::dispatchMain([self, generation, picture, title, error, problem] {
            if (!self || self->m_generation != generation)
                return;
            self->m_loading = false;
            if (picture.isNull()) {
                PLR_LOG_WARN(QStringLiteral("Preview could not read the photo: %1").arg(error));
                if (self->m_content->picture().isNull())
                    self->m_content->setPicture(QImage(), title,
                                                problem == PLRPhotoProblem::None
                                                    ? QStringLiteral("This photo cannot be shown.")
                                                    : QStringLiteral("This photo cannot be shown: %1.").arg(describePhotoProblem(problem)));
                return;
            }
            self->m_content->setPicture(picture, title, QString());
        });
    });
}

void PLRPreviewPanel::keyPressEvent(QKeyEvent* event)
{
    if (m_delegate && m_delegate->previewPanelHandleEvent(this, event))
        return;
    const qint64 count = m_dataSource ? m_dataSource->numberOfPreviewItemsInPreviewPanel(this) : 0;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        if (count > 1)
            setCurrentPreviewItemIndex((m_index + count - 1) % count);
        return;
    case Qt::Key_Right:
    case Qt::Key_Down:
        if (count > 1)
            setCurrentPreviewItemIndex((m_index + 1) % count);
        return;
    case Qt::Key_Space:
    case Qt::Key_Escape:
        orderOut();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void PLRPreviewPanel::closeEvent(QCloseEvent* event)
{
    endControl();
    ++m_generation;
    m_loading = false;
    QWidget::closeEvent(event);
}

void PLRPreviewPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
}
