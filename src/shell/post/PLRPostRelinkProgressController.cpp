#include "shell/post/PLRPostRelinkProgressController.h"

#include "controls/PLRProgressBar.h"
#include "controls/PLRSpinner.h"
#include "platform/Dispatch.h"
#include "platform-ui/Fonts.h"

#include <algorithm>

using namespace platform::ui;

PLRImagePreparationProgress PLRImagePreparationProgress::forInfo(const PLRSourceDirectoryProgressInfo& info)
{
    PLRImagePreparationProgress progress;
    progress.text = QStringLiteral("Preparing Images (%1/%2)").arg(info.totalCachedImageCount).arg(info.totalLoadedImageCount);
    if (info.totalLoadedImageCount > 0)
        progress.fraction = std::clamp(double(info.totalCachedImageCount) / double(info.totalLoadedImageCount), 0.0, 1.0);
    return progress;
}

PLRPostRelinkProgressController::PLRPostRelinkProgressController(QObject* parent) : WindowController(nullptr, parent) {}

PLRPostRelinkProgressController::~PLRPostRelinkProgressController() = default;

std::unique_ptr<Window> PLRPostRelinkProgressController::loadWindow()
{
    auto window = std::make_unique<Window>(QRectF(0, 0, 360, 110), WindowStyleTitled);
    window->setTitle(QStringLiteral("Preparing Images"));
    View* content = window->contentView();
    m_progressInfoText = new TextField(content);
    m_progressInfoText->setFont(systemFont(13));
    m_progressInfoText->setAlignment(TextAlignment::Center);
    m_progressInfoText->setFrame(QRectF(20, 60, 320, 20));
    m_progressInfoText->setHidden(true);
    m_progressIndicator = new PLRProgressBar(QRectF(20, 30, 320, 12), content);
    m_intermediateProgress = new PLRSpinner(QRectF(165, 50, 30, 30), content);
    return window;
}

void PLRPostRelinkProgressController::windowDidLoad()
{
    m_intermediateProgress->startAnimating();
}

TextField* PLRPostRelinkProgressController::progressInfoText() { window(); return m_progressInfoText; }
PLRProgressBar* PLRPostRelinkProgressController::progressIndicator() { window(); return m_progressIndicator; }
PLRSpinner* PLRPostRelinkProgressController::intermediateProgress() { window(); return m_intermediateProgress; }

void PLRPostRelinkProgressController::monitorProgressForSourceDirectory(PLRSourceDirectory* directory)
{
    if (!directory)
        return;
    QPointer<PLRPostRelinkProgressController> self(this);
    directory->setUIDirectoryWatchProgressCallback([self](const PLRSourceDirectoryProgressInfo& info) {
        // The controller may be gone by the time a report arrives.
        platform::dispatchMain([self, info] {
            if (self)
                self->apply(info);
        });
    });
}

void PLRPostRelinkProgressController::updateUIOnWatchDirectoryProgress(const PLRSourceDirectoryProgressInfo& info)
{
    QPointer<PLRPostRelinkProgressController> self(this);
    platform::dispatchMain([self, info] {
        if (self)
            self->apply(info);
    });
}

void PLRPostRelinkProgressController::apply(const PLRSourceDirectoryProgressInfo& info)
{
    window();
    const PLRImagePreparationProgress progress = PLRImagePreparationProgress::forInfo(info);
    m_progressInfoText->setStringValue(progress.text);
    m_progressIndicator->setIndeterminate(!progress.fraction);
    m_progressIndicator->setDoubleValue(progress.fraction.value_or(0.0) * 100.0);
    if (info.loadDirectoryFinished) {
        close();
        Application::stopModal();
        return;
    }
    if (progress.fraction.value_or(0.0) > 0.0) {
        m_progressInfoText->setHidden(false);
        m_intermediateProgress->setHidden(true);
    }
}
