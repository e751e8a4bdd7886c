#pragma once

// A signed-in session with a post whose photos are real JPEG files on disk, once every photo's
// size is known (the export draws photos at their sizes).

#include "TestSupport.h"
#include "support/shell/ShellFixtures.h"

#include "shell/AppDelegate.h"
#include "layout/base/PLRLayoutManager.h"
#include "publishing/export/PLRExportInstall.h"
#include "publishing/export/PLRExportManager.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"
#include "shell/home/PLRShellHooks.h"
#include "platform/Dispatch.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <functional>

namespace export_test {

// A photo with a diagonal gradient and a mark, so renders show real content.
inline QString makePhoto(const QString& folder, const QString& name, QSize size, QColor colour, int dpi = 72)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, colour);
    gradient.setColorAt(1, colour.darker(200));
    painter.fillRect(image.rect(), gradient);
    painter.fillRect(QRect(size.width() / 4, size.height() / 4, size.width() / 8, size.height() / 8), Qt::white);
    painter.end();
    image.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    image.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    const QString path = QDir(folder).filePath(name);
    image.save(path, "JPG", 92);
    return path;
}

class ExportFixture : public ::testing::Test {
protected:
    // (The libraries are installed before each test, and put back by the reset registry after it.)
    void SetUp() override
    {
        m_folder = testing_support::testHome() + QStringLiteral("/photos");
        QDir().mkpath(m_folder);
    }

    // Signs in and opens a new post over the photo folder once its photos are known.
    PLRPostManager* openPost(const QString& name, int photoCount)
    {
        testing_support::OpenPostOptions options;
        options.title = name;
        const testing_support::OpenPost opened = testing_support::openPostOnFolder(m_folder, photoCount, options);
        if (!opened.ok)
            return nullptr;
        PLRPostManager* manager = opened.manager;
        const bool measured = testing_support::waitUntil([&] {
            for (const PLRSourceImagePtr& image : manager->images())
                if (!(image->width() > 0.0f))
                    return false;
            return true;
        });
        return measured ? manager : nullptr;
    }

    // The identifier of the photo with that file name.
    static QString photo(PLRPostManager* manager, const QString& fileName)
    {
        for (const PLRSourceImagePtr& image : manager->images())
            if (image->fileName() == fileName)
                return image->identifier();
        return {};
    }

    QString m_folder;
};


inline QStringList jpegsIn(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files | QDir::Hidden, QDir::Name);
}

// What a layout export ended with.
struct Outcome {
    bool done = false;
    bool success = false;
    QString failure;
    QList<qint64> progress;
    int completions = 0;
};

// Starts a layout export as the export panel does (not in live view) and returns its outcome
// once the completion ran.
inline void runExport(PLRPostManager* manager, const QString& folder, Outcome& outcome, qint64 options = 2, qint64 width = 600,
                      const std::function<void()>& whileRunning = {}, bool sharpen = true)
{
    PLRExportManager::sharedManager().exportLayoutForPostManager(
        manager, folder, width, 80, sharpen, options, false,
        [&outcome](qint64 current, qint64 total) {
            EXPECT_TRUE(platform::isMainThread());
            EXPECT_GT(total, 0);
            outcome.progress.append(current);
        },
        [&outcome](bool success, const QString& failure) {
            EXPECT_TRUE(platform::isMainThread());
            outcome.done = true;
            outcome.success = success;
            outcome.failure = failure;
            ++outcome.completions;
        });
    if (whileRunning)
        whileRunning();
    ASSERT_TRUE(testing_support::waitUntil([&] { return outcome.done; }, 60000));
    testing_support::drainEvents();
}

} // namespace export_test

#include "platform-ui/Controls.h"

#include <QAbstractScrollArea>
#include <QLayout>
#include <QScrollBar>
#include <QStringList>

namespace export_test {

// Whether the widget is placed by a layout of its parent (a control of the screen), rather than
// being a part its control places itself (the editor inside a field, a scroller's bar).
inline bool isLaidOut(QWidget* widget)
{
    QWidget* parent = widget->parentWidget();
    if (!parent || !parent->layout())
        return false;
    std::function<bool(QLayout*)> holds = [&](QLayout* layout) {
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem* item = layout->itemAt(i);
            if (item->widget() == widget)
                return true;
            if (item->layout() && holds(item->layout()))
                return true;
        }
        return false;
    };
    return holds(parent->layout());
}

// The controls of a screen (or of one part of it) that are squeezed below the size they need,
// or cut by what holds them (the screen's edges, a box's), each described; empty when every
// control has its room. What a scrolling page hides above or below is not cut: it scrolls into
// view.
inline QStringList crampedControls(QWidget* screen, QWidget* part = nullptr)
{
    QStringList found;
    const auto describe = [](QWidget* widget) {
        QString name = widget->objectName();
        if (auto* button = qobject_cast<platform::ui::Button*>(widget); button && name.isEmpty())
            name = button->title();
        if (auto* field = qobject_cast<platform::ui::TextField*>(widget); field && name.isEmpty())
            name = field->stringValue();
        return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(widget->metaObject()->className()), name);
    };
    for (QWidget* widget : (part ? part : screen)->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(screen) || qobject_cast<QScrollBar*>(widget) || !isLaidOut(widget))
            continue;
        const QSizePolicy policy = widget->sizePolicy();
        if (policy.horizontalPolicy() == QSizePolicy::Ignored || policy.verticalPolicy() == QSizePolicy::Ignored)
            continue;
        // What it needs: its size hint when it may not shrink, else its smallest size; a label
        // of one line, its whole text.
        const auto needed = [&](QSizePolicy::Policy each, int hint, int smallest, int least) {
            return std::max(least, (each & QSizePolicy::ShrinkFlag) ? std::max(0, smallest) : std::max(0, hint));
        };
        int width = needed(policy.horizontalPolicy(), widget->sizeHint().width(), widget->minimumSizeHint().width(), widget->minimumWidth());
        const int height = needed(policy.verticalPolicy(), widget->sizeHint().height(), widget->minimumSizeHint().height(), widget->minimumHeight());
        if (auto* field = qobject_cast<platform::ui::TextField*>(widget);
            field && !field->isEditable() && widget->height() <= field->sizeHint().height() + 2)
            width = std::max(width, field->sizeHint().width());
        if (widget->width() < width || widget->height() < height)
            found << QStringLiteral("%1 squeezed to %2x%3 (needs %4x%5)")
                         .arg(describe(widget)).arg(widget->width()).arg(widget->height()).arg(width).arg(height);
        // Within every box around it, and the screen; a control that takes the keyboard, with the
        // focus ring it shows around itself then. (Once inside a scrolling page, what holds the
        // page cuts the page, not the control.)
        QRect rect(widget->mapTo(screen, QPoint(0, 0)), widget->size());
        if (auto* view = qobject_cast<platform::ui::View*>(widget); view && view->drawsFocusRing() && view->isEnabled()) {
            QRectF mask = view->focusRingMaskBounds();
            if (!view->isFlipped())
                mask.moveTop(view->height() - mask.bottom());
            const int ring = int(std::ceil(platform::ui::View::kFocusRingWidth));
            rect = mask.toAlignedRect().translated(rect.topLeft()).adjusted(-ring, -ring, ring, ring);
        }
        bool scrolled = false;
        for (QWidget* box = widget->parentWidget(); box; box = box->parentWidget()) {
            const QRect room(box == screen ? QPoint(0, 0) : box->mapTo(screen, QPoint(0, 0)), box->size());
            auto* area = box->parentWidget() ? qobject_cast<QAbstractScrollArea*>(box->parentWidget()) : nullptr;
            scrolled = scrolled || (area && area->viewport() == box && area->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff);
            const bool cut = rect.left() < room.left() || rect.right() > room.right()
                || (!scrolled && (rect.top() < room.top() || rect.bottom() > room.bottom()));
            if (cut) {
                found << QStringLiteral("%1 cut by %2 (%3,%4 %5x%6 in %7,%8 %9x%10)")
                             .arg(describe(widget), describe(box))
                             .arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height())
                             .arg(room.x()).arg(room.y()).arg(room.width()).arg(room.height());
                break;
            }
            if (box == screen)
                break;
        }
    }
    return found;
}

} // namespace export_test
