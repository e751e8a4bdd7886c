#pragma once

#include "controls/PLRProgressBar.h"
#include "controls/PLRSpinner.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Window.h"

#include <QPointer>

#include <optional>

// A small window that follows the loading of a post's source folder and ends the application's
// modal run when the folder has loaded. The caller shows it with Application::runModal.
class PLRPostRelinkProgressController : public platform::ui::WindowController, public PLRSourceDirectoryDelegate {
    Q_OBJECT
public:
    explicit PLRPostRelinkProgressController(QObject* parent = nullptr);
    ~PLRPostRelinkProgressController() override;

    PLRPersistantPost* post() const { return m_post; }
    void setPost(PLRPersistantPost* post) { m_post = post; }

    void monitorProgressForSourceDirectory(PLRSourceDirectory* directory);
    // From any thread.
    void updateUIOnWatchDirectoryProgress(const PLRSourceDirectoryProgressInfo& info);

    platform::ui::TextField* progressInfoText();
    PLRProgressBar* progressIndicator();
    PLRSpinner* intermediateProgress();

protected:
    std::unique_ptr<platform::ui::Window> loadWindow() override;
    void windowDidLoad() override;

private:
    void apply(const PLRSourceDirectoryProgressInfo& info);
    QPointer<PLRPersistantPost> m_post;
    QPointer<platform::ui::TextField> m_progressInfoText;
    QPointer<PLRProgressBar> m_progressIndicator;
    QPointer<PLRSpinner> m_intermediateProgress;
};

// The text and fraction shown for a loading report: "Preparing Images (cached/loaded)" and
// cached / loaded; with nothing loaded yet there is no fraction (busy).
struct PLRImagePreparationProgress {
    QString text;
    std::optional<double> fraction;
    static PLRImagePreparationProgress forInfo(const PLRSourceDirectoryProgressInfo& info);
};
