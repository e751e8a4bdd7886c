#pragma once

// An open post on a folder of tagged photos, with its gallery on screen (offscreen platform).

#include "TestSupport.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "support/shell/ShellFixtures.h"

#include "panels/PLRPanels.h"
#include "layout/base/PLRLayoutManager.h"
#include "panels/gallery/PLRGalleryCollectionView.h"
#include "panels/gallery/PLRGalleryHeaderView.h"
#include "panels/gallery/PLRGalleryViewController.h"
#include "panels/gallery/PLRGalleryViewItem.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/UndoManager.h"
#include "platform-ui/View.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>

#include <map>
#include <memory>
#include <string>

// Readable failure messages.
inline void PrintTo(const QString& string, std::ostream* os)
{
    *os << '"' << string.toStdString() << '"';
}

namespace gallery_test {

using Photo = testing_support::TestPhoto;
using testing_support::plainPhotos;

// A folder of photos under the test's home.
inline QString makeFolder(const QList<Photo>& photos, const QString& name = QStringLiteral("photos"))
{
    const QString folder = testing_support::writePhotoFolder(photos, name);
    EXPECT_FALSE(folder.isEmpty());
    return folder;
}

// Signs in and opens a new post on the folder; waits until its photos are listed.
inline PLRPostManager* openPost(const QString& folder, int expectedPhotos)
{
    testing_support::installShellLibraries();
    PLRPanels::install();
    const testing_support::OpenPost opened = testing_support::openPostOnFolder(folder, expectedPhotos);
    EXPECT_TRUE(opened.ok);
    return opened.manager;
}

// The gallery of the post, shown in a window of the given size.
struct Gallery {
    std::unique_ptr<PLRGalleryViewController> controller;
    PLRPostManager* manager = nullptr;

    explicit Gallery(PLRPostManager* postManager, QSize size = QSize(260, 600))
        : controller(std::make_unique<PLRGalleryViewController>()), manager(postManager)
    {
        platform::ui::View* view = controller->view();
        view->resize(size);
        view->show();
        controller->viewWillAppear();
        controller->setPostManager(manager);
        settle();
    }
    ~Gallery()
    {
        if (PLRPreviewPanel::sharedPreviewPanelExists())
            PLRPreviewPanel::sharedPreviewPanel()->orderOut();
    }

    PLRGalleryCollectionView* collection() const { return controller->galleryView(); }
    PLRLayoutManager* layout() const { return manager->layoutManager(); }
    platform::UndoManager* undo() const { return controller->undoManager(); }

    // Lets queued call-backs and layout run, and the previews asked for so far arrive.
    static void settle()
    {
        testing_support::drainEvents();
        PLRImageManager::shared().waitUntilAllOperationsAreFinished();
        testing_support::drainEvents();
    }

    QStringList namesInSection(qint64 section) const
    {
        QStringList names;
        for (qint64 item = 0; item < collection()->numberOfItemsInSection(section); ++item) {
            if (PLRSourceImagePtr image = controller->imageAtIndexPath({section, item}))
                names.append(image->fileName());
        }
        return names;
    }
    PLRSourceImagePtr photo(const QString& name) const
    {
        for (const PLRSourceImagePtr& image : manager->images())
            if (image->fileName() == name)
                return image;
        return nullptr;
    }
    QStringList selectedNames() const
    {
        QStringList names;
        for (const PLRSourceImagePtr& image : controller->selectedImageSources())
            names.append(image->fileName());
        return names;
    }

    // A press (and release) on an item with modifiers, as the pointer would.
    void click(const PLRGalleryIndexPath& path, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool twice = false)
    {
        collection()->scrollToItem(path);
        PLRGalleryViewItem* item = collection()->itemAtIndexPath(path);
        ASSERT_NE(item, nullptr) << "no item at " << path.section << "/" << path.item;
        QWidget* view = item->view();
        QWidget* window = view->window();
        const QPointF windowPoint = view->mapTo(window, QPointF(view->width() / 2.0, view->height() / 2.0));
        const QPointF global = window->mapToGlobal(windowPoint);
        auto send = [&](QEvent::Type type, Qt::MouseButtons buttons) {
            QMouseEvent event(type, windowPoint, windowPoint, global, Qt::LeftButton, buttons, modifiers);
            QApplication::sendEvent(window, &event);
        };
        send(QEvent::MouseButtonPress, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, Qt::NoButton);
        if (twice) {
            send(QEvent::MouseButtonDblClick, Qt::LeftButton);
            send(QEvent::MouseButtonRelease, Qt::NoButton);
        }
    }
    void key(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent press(QEvent::KeyPress, qtKey, modifiers);
        QApplication::sendEvent(collection(), &press);
    }
};

// The image references of a section's blocks, with containers as "[a b]".
inline QStringList describeSection(const PLRSection& section, PLRPostManager* manager)
{
    auto nameOf = [manager](const PLRBlock& block) {
        const PLRSourceImagePtr image = manager->imageForIdentifier(QString::fromStdString(block.image().img_ref()));
        return image ? image->fileName() : QStringLiteral("?");
    };
    QStringList parts;
    for (const PLRBlock& block : section.blocks()) {
        if (block.has_container()) {
            QStringList inner;
            for (const PLRBlock& child : block.container().sub_blocks())
                inner.append(nameOf(child));
            parts.append(QStringLiteral("[%1]").arg(inner.join(QLatin1Char(' '))));
        } else {
            parts.append(nameOf(block));
        }
    }
    return parts;
}

inline QStringList describeLastSection(PLRLayoutManager* manager, PLRPostManager* postManager)
{
    const PLRLayout& layout = *manager->representedLayout();
    if (layout.sections_size() == 0)
        return {};
    return describeSection(layout.sections(layout.sections_size() - 1), postManager);
}

} // namespace gallery_test
