#pragma once

// A post with generated photos, opened in a canvas controller whose widget is shown.

#include "TestSupport.h"
#include "support/canvas/CanvasFixtures.h"

#include "layout/base/PLRLayoutManager.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteraction.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "canvas/interaction/PLRLayoutViewController.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/UndoManager.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"
#include "canvas/interaction/PLRVisualStateHandler.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>

#include <memory>
#include <ostream>

// Texts in failure messages as texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace canvas_test {

// Photos with a colour: a soft gradient in it, so a render shows where each one went.
using Photo = testing_support::TestPhoto;

class CanvasFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        PLRVisualStateHandler::globalHandler().reset();   // from this test's settings
        testing_support::OpenPostOptions options;
        options.writer = [this](const QString& path, const Photo& photo) { return writePhotoFile(path, photo); };
        const testing_support::OpenPost opened = testing_support::openPostWithLayout(photos(), options);
        ASSERT_TRUE(opened.ok);
        folder = opened.folder;
        postManager = opened.manager;
        ids = opened.identifiers;
        controller = std::make_unique<PLRLayoutViewController>();
        controller->setPostManager(postManager);
        controller->widget()->resize(1000, 700);
        if (showCanvas()) {
            controller->widget()->show();
            testing_support::drainEvents();
        }
        controller->setZoom(50);
        canvas()->refresh();
    }

    void TearDown() override { controller.reset(); }

    virtual QList<Photo> photos() const
    {
        return {{"a.jpg", 600, 400, QColor(200, 80, 60)},
                {"b.jpg", 400, 600, QColor(60, 120, 200)},
                {"c.jpg", 640, 360, QColor(70, 170, 90)},
                {"d.jpg", 500, 500, QColor(220, 180, 60)}};
    }
    virtual bool showCanvas() const { return true; }
    virtual bool writePhotoFile(const QString& path, const Photo& photo) const { return testing_support::writePhoto(path, photo); }

    PLRLayoutManager* layoutManager() const { return postManager->layoutManager(); }
    PLRLayout* layout() const { return layoutManager()->representedLayout(); }
    QByteArray bytes() const { return plr::data(*layout()); }
    PLRLayoutInteractionView* canvas() const { return controller->interactionView(); }
    platform::UndoManager* undo() const { return controller->undoManager(); }

    PLRBlock* addImage(const QString& name, PLRSection* section = nullptr)
    {
        if (!section)
            section = layout()->sections_size() ? layout()->mutable_sections(0) : layoutManager()->addNewSection();
        PLRBlockPtr block = PLRLayoutManager::newBlock_Image();
        block->mutable_image()->set_img_ref(ids.value(name).toStdString());
        PLRBlock* added = layoutManager()->addBlock(std::move(block), nullptr, section);
        canvas()->refresh();
        return added;
    }

    PLRBlock* addText(const QString& value, int style = PLRBlock_Text::PARAGRAPH)
    {
        PLRSection* section = layout()->sections_size() ? layout()->mutable_sections(0) : layoutManager()->addNewSection();
        PLRBlockPtr block = PLRLayoutManager::newBlock_Text();
        block->mutable_text()->set_value(value.toStdString());
        block->mutable_text()->set_style(PLRBlock_Text::TextStyle(style));
        PLRBlock* added = layoutManager()->addBlock(std::move(block), nullptr, section);
        canvas()->refresh();
        return added;
    }

    // A point of the block's frame on the canvas, by fractions of its width and height.
    QPointF pointIn(const PLRBlock* block, double fx = 0.5, double fy = 0.5) const
    {
        const QRectF rect = canvas()->viewRectForBlock(block);
        return QPointF(rect.left() + rect.width() * fx, rect.top() + rect.height() * fy);
    }

    // Scrolls the canvas so the view point is visible (events reach only what is on screen).
    void reveal(const QPointF& viewPoint)
    {
        controller->scrollView()->ensureVisible(int(viewPoint.x()), int(viewPoint.y()), 20, 20);
    }

    void sendMouse(QEvent::Type type, const QPointF& viewPoint, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        reveal(viewPoint);
        QWidget* window = canvas()->window();
        const QPointF windowPoint = canvas()->mapTo(window, viewPoint);
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent event(type, windowPoint, windowPoint, window->mapToGlobal(windowPoint), button,
                          type == QEvent::MouseMove ? Qt::MouseButtons(Qt::NoButton) : buttons, modifiers);
        QApplication::sendEvent(window, &event);
    }

    void click(const QPointF& viewPoint, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        sendMouse(QEvent::MouseButtonPress, viewPoint, modifiers);
        sendMouse(QEvent::MouseButtonRelease, viewPoint, modifiers);
    }

    void doubleClick(const QPointF& viewPoint)
    {
        click(viewPoint);
        sendMouse(QEvent::MouseButtonDblClick, viewPoint);
        sendMouse(QEvent::MouseButtonRelease, viewPoint);
    }

    void drag(const QPointF& from, const QPointF& to)
    {
        sendMouse(QEvent::MouseButtonPress, from);
        reveal(to);
        QWidget* window = canvas()->window();
        const QPointF windowPoint = canvas()->mapTo(window, to);
        QMouseEvent move(QEvent::MouseMove, windowPoint, windowPoint, window->mapToGlobal(windowPoint), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &move);
        sendMouse(QEvent::MouseButtonRelease, to);
    }

    void pressKey(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(canvas(), &press);
    }

    // Drags the data over the canvas to the view point and drops it. Answers whether the canvas
    // accepted the drop; the blocks it placed are in `placed` once the drop has been handled.
    bool dropData(QMimeData* mime, const QPointF& viewPoint, QList<PLRBlock*>* placed = nullptr)
    {
        std::unique_ptr<QMimeData> owned(mime);
        QSignalSpy performed(canvas(), &PLRLayoutInteractionView::dropPerformed);
        const QPoint point = viewPoint.toPoint();
        QDragEnterEvent enter(point, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas(), &enter);
        QDragMoveEvent move(point, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas(), &move);
        lastIndicator = canvas()->currentDropZone();
        QDropEvent drop(viewPoint, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas(), &drop);
        if (!drop.isAccepted())
            return false;
        EXPECT_TRUE(testing_support::waitUntil([&] { return performed.count() == 1; }, 3000));
        if (placed && performed.count() == 1)
            *placed = performed.first().first().value<QList<PLRBlock*>>();
        return true;
    }

    bool dropPhotos(const QStringList& names, const QPointF& viewPoint, QList<PLRBlock*>* placed = nullptr)
    {
        QStringList identifiers;
        for (const QString& name : names)
            identifiers << ids.value(name, name);
        return dropData(PLRImageReferencePasteboard::mimeDataForIdentifiers(identifiers), viewPoint, placed);
    }

    QString folder;
    PLRPostManager* postManager = nullptr;
    QHash<QString, QString> ids;   // file name -> identifier
    std::unique_ptr<PLRLayoutViewController> controller;
    PLRDropZone lastIndicator;
};

} // namespace canvas_test
