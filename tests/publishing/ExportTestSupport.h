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

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>

#include <cmath>

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

} // namespace export_test
