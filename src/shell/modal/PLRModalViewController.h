#pragma once

// The content of a multi-step modal dialog: a picture on the left (two picture views that
// cross-fade), the current page on the right with up to three buttons under it, an error bar
// that slides in from the top, a spinner cover and a completion cover. Pages drive it through
// the operations below; PLRModalManager runs it.

#include "platform-ui/PLRViewController.h"
#include "shell/modal/PLRModalView.h"

#include "controls/PLRHyperLinkView.h"
#include "controls/PLRSmallViews.h"
#include "controls/PLRSpinner.h"
#include "platform-ui/Controls.h"

#include <QList>
#include <QPointer>
#include <QScrollArea>
#include <QVariantMap>

#include <memory>
#include <vector>


class PLRModalViewController : public PLRViewController {
    Q_OBJECT
public:
    explicit PLRModalViewController(QObject* parent = nullptr);
    ~PLRModalViewController() override;

    // The sizes of the dialog.
    static constexpr double kPictureWidth = 360.0;
    static constexpr double kPageWidth = 440.0;
    static constexpr double kNormalContainerHeight = 495.0;
    static constexpr double kControlBarHeight = 64.0;
    static constexpr double kErrorHiddenTop = -100.0;
    static constexpr double kErrorShownTop = 20.0;

    // Set up by the manager before the view appears.
    void setViews(std::vector<std::unique_ptr<PLRModalView>> views);
    const std::vector<std::unique_ptr<PLRModalView>>& modalViews() const { return m_modalViews; }
    QVariantMap representedData() const { return m_representedData; }
    void setRepresentedData(const QVariantMap& data) { m_representedData = data; }
    qint64 homeViewIndex() const { return m_homeViewIndex; }
    void setHomeViewIndex(qint64 index) { m_homeViewIndex = index; }
    bool showCloseButton() const { return m_showCloseButton; }
    void setShowCloseButton(bool show);

    // Navigation (on the last / first page the next / previous one changes nothing).
    void moveToNextView();
    void moveToPreviousView();
    void moveToHomeView();

    // Covers.
    void startSpinner(const QString& text);
    void stopSpinner();
    void presentCompletionCover(const QString& message, const std::optional<QString>& primaryButtonTitle);

    // The error bar (a nil label hides its button).
    void presentError(const QString& message, const std::optional<QString>& primaryLabel,
                      const std::optional<QString>& secondaryLabel);
    void dismissError();

    void setPrimaryEnabled(bool enabled);
    void setSecondaryEnabled(bool enabled);
    void setTertiaryEnabled(bool enabled);

    // Ends the dialog: -1002 for success, -1000 otherwise; closes the window.
    void dismissModalWithSuccess(bool success);

    // Button actions (the buttons send them; tests call them).
    void primaryAction();
    void secondaryAction();
    void tertiaryAction();
    void errorPrimaryAction();
    void errorSecondaryAction();
    // The dialog's own close button: ends it with -1001.
    void closeWindowAction();

    void viewWillAppear() override;

    // State and parts, for the pages' tests.
    PLRModalView* currentView() const { return m_currentView; }
    qint64 currentIndex() const;
    bool spinnerCoverActive() const { return m_spinnerCoverActive; }
    bool presentingError() const { return m_presentingError; }
    double containerHeight() const { return m_containerHeight; }
    double errorTop() const { return m_errorTop; }
    platform::ui::ImageView* primaryImageView() const { return m_primaryImageView; }
    platform::ui::ImageView* secondaryImageView() const { return m_secondaryImageView; }
    platform::ui::ImageView* currentImageView() const { return m_currentImageView; }
    platform::ui::View* contentView() const { return m_contentView; }
    // The area the page scrolls in; the content view is its content.
    QScrollArea* pageScrollView() const { return m_pageScrollView; }
    platform::ui::View* controlView() const { return m_controlView; }
    platform::ui::Button* primaryButton() const { return m_primaryButton; }
    platform::ui::Button* secondaryButton() const { return m_secondaryButton; }
    platform::ui::Button* tertiaryButton() const { return m_tertiaryButton; }
    PLRBackgroundColourView* coverView() const { return m_coverView; }
    PLRSpinner* spinnerView() const { return m_spinnerView; }
    platform::ui::TextField* coverLabel() const { return m_coverLabel; }
    PLRBackgroundColourView* errorView() const { return m_errorView; }
    platform::ui::TextField* errorLabel() const { return m_errorLabel; }
    platform::ui::Button* errorPrimaryButton() const { return m_errorPrimaryButton; }
    platform::ui::Button* errorSecondaryButton() const { return m_errorSecondaryButton; }
    PLRHyperLinkView* photographerHyperLink() const { return m_photographerHyperLink; }
    platform::ui::Button* closeButton() const { return m_closeButton; }

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;

private:
    void moveToNewView(PLRModalView* view);
    void updatePhotographerCredit();
    void updateButtonTitlesAndVisibility();
    // Puts the keyboard on the page just shown: its first control, else its main button.
    void giveKeyboardToPage();
    // Once the page is ready again (its cover gone, its main button on): the keyboard goes back
    // to it when it waited elsewhere or was pushed onto the dialog's own parts.
    void keyboardBackToPage();
    // Gives the buttons back the Return they had before the completion cover.
    void leaveCompletionCover();
    void relayout();
    void pinPageToContent();
    void resizeWindowForPage(PLRModalView* view);
    PLRModalPanelViewController* currentController() const;

    std::vector<std::unique_ptr<PLRModalView>> m_modalViews;
    QVariantMap m_representedData;
    qint64 m_homeViewIndex = 0;
    bool m_showCloseButton = false;
    PLRModalView* m_currentView = nullptr;
    bool m_spinnerCoverActive = false;
    bool m_presentingError = false;
    bool m_completionCoverActive = false;
    QStringList m_keyEquivalentsBeforeCover;   // primary, secondary, tertiary
    double m_containerHeight = kNormalContainerHeight;
    double m_errorTop = kErrorHiddenTop;

    QPointer<platform::ui::ImageView> m_primaryImageView;
    QPointer<platform::ui::ImageView> m_secondaryImageView;
    QPointer<platform::ui::ImageView> m_currentImageView;
    QPointer<platform::ui::View> m_containerView;
    QPointer<QScrollArea> m_pageScrollView;
    QPointer<platform::ui::View> m_contentView;
    QPointer<platform::ui::View> m_controlView;
    QPointer<platform::ui::Button> m_primaryButton;
    QPointer<QWidget> m_keyboardFallback;   // where the keyboard waits while the page loads
    QPointer<platform::ui::Button> m_secondaryButton;
    QPointer<platform::ui::Button> m_tertiaryButton;
    QPointer<PLRBackgroundColourView> m_coverView;
    QPointer<PLRSpinner> m_spinnerView;
    QPointer<platform::ui::TextField> m_coverLabel;
    QPointer<PLRBackgroundColourView> m_errorView;
    QPointer<platform::ui::TextField> m_errorLabel;
    QPointer<platform::ui::Button> m_errorPrimaryButton;
    QPointer<platform::ui::Button> m_errorSecondaryButton;
    QPointer<PLRHyperLinkView> m_photographerHyperLink;
    QPointer<platform::ui::Button> m_closeButton;
};
