#include "shell/modal/PLRModalViewController.h"

#include "controls/KitHelpers.h"
#include "controls/PLRHyperLinkView.h"
#include "controls/PLRLinkButtons.h"
#include "controls/PLRSmallViews.h"
#include "controls/PLRSpinner.h"
#include "platform/Log.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Window.h"
#include "shell/PLRAnimationContext.h"

#include <QApplication>
#include <QLayout>

using namespace platform::ui;

namespace {

// The root view lays its parts out again whenever its size changes.
class PLRModalRootView : public View {
public:
    std::function<void()> onLayout;
protected:
    void layoutSubviews() override
    {
        if (onLayout)
            onLayout();
    }
};

// The content the page scrolls in: it fits the page again whenever its own size changes and
// whenever the page's layout asks for other room (a section opens, a field shows).
class PageContentView : public PLRModalRootView {
protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::LayoutRequest && onLayout)
            onLayout();
        return PLRModalRootView::event(event);
    }
};

Button* makeButton(View* parent, const QString& title, const QString& identifier, std::function<void()> action)
{
    auto* button = Button::withTitle(title, nullptr, [action = std::move(action)](Control*) { action(); }, parent);
    button->setIdentifier(identifier);
    return button;
}

} // namespace

PLRModalViewController::PLRModalViewController(QObject* parent) : PLRViewController(parent) {}

PLRModalViewController::~PLRModalViewController()
{
    // The pages' views belong to their controllers, which go with the descriptors.
    for (auto& descriptor : m_modalViews)
        if (PLRModalPanelViewController* page = descriptor->viewController(); page && page->isViewLoaded())
            PLRViewController::removeFromSuperview(page->view());
}

void PLRModalViewController::setViews(std::vector<std::unique_ptr<PLRModalView>> views)
{
    m_modalViews = std::move(views);
}

void PLRModalViewController::setShowCloseButton(bool show)
{
    m_showCloseButton = show;
    if (m_closeButton) {
        // Escape works as the close button where there is one.
        m_closeButton->setHidden(!show);
        m_closeButton->setKeyEquivalent(show ? QStringLiteral("\x1b") : QString());
    }
}

qint64 PLRModalViewController::currentIndex() const
{
    for (size_t i = 0; i < m_modalViews.size(); ++i)
        if (m_modalViews[i].get() == m_currentView)
            return qint64(i);
    return -1;
}

PLRModalPanelViewController* PLRModalViewController::currentController() const
{
    return m_currentView ? m_currentView->viewController() : nullptr;
}

View* PLRModalViewController::loadView()
{
    auto* root = new PLRModalRootView;
    root->resize(int(kPictureWidth + kPageWidth), int(kNormalContainerHeight + kControlBarHeight));

    m_secondaryImageView = new ImageView(root);
    m_secondaryImageView->setIdentifier(QStringLiteral("secondaryImageView"));
    m_secondaryImageView->setImageScaling(ImageScaling::AxesIndependently);
    m_primaryImageView = new ImageView(root);
    m_primaryImageView->setIdentifier(QStringLiteral("primaryImageView"));
    m_primaryImageView->setImageScaling(ImageScaling::AxesIndependently);

    m_containerView = new View(root);
    m_containerView->setIdentifier(QStringLiteral("containerView"));
    // The page scrolls where the dialog is lower than the page needs (a small screen): the
    // buttons under it and the close button stay in sight. The area scrolls the control that
    // gets the keyboard into view.
    m_pageScrollView = new QScrollArea(m_containerView);
    m_pageScrollView->setObjectName(QStringLiteral("pageScrollView"));
    m_pageScrollView->setFrameShape(QFrame::NoFrame);
    m_pageScrollView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pageScrollView->setWidgetResizable(true);
    m_pageScrollView->setFocusPolicy(Qt::NoFocus);
    m_pageScrollView->viewport()->setAutoFillBackground(false);
    auto* content = new PageContentView;
    content->setIdentifier(QStringLiteral("contentView"));
    content->onLayout = [this] { pinPageToContent(); };
    m_pageScrollView->setWidget(content);
    content->setAutoFillBackground(false);
    m_contentView = content;
    QObject::connect(qApp, &QApplication::focusChanged, m_pageScrollView, [scroll = m_pageScrollView.data()](QWidget*, QWidget* now) {
        if (now && scroll->widget() && scroll->widget()->isAncestorOf(now))
            scroll->ensureWidgetVisible(now, 0, 8);
    });

    m_controlView = new View(root);
    m_controlView->setIdentifier(QStringLiteral("controlView"));
    m_tertiaryButton = makeButton(m_controlView, QString(), QStringLiteral("tertiaryButton"), [this] { tertiaryAction(); });
    m_secondaryButton = makeButton(m_controlView, QStringLiteral("Back"), QStringLiteral("secondaryButton"), [this] { secondaryAction(); });
    m_primaryButton = makeButton(m_controlView, QStringLiteral("Continue"), QStringLiteral("primaryButton"), [this] { primaryAction(); });

    m_coverView = new PLRBackgroundColourView(m_containerView);
    m_coverView->setIdentifier(QStringLiteral("coverView"));
    m_spinnerView = new PLRSpinner(QRectF(0, 0, 48, 48), m_coverView);
    m_coverLabel = new TextField(m_coverView);
    m_coverLabel->setAlignment(TextAlignment::Center);
    m_coverLabel->setFont(systemFont(14));

    m_errorView = new PLRBackgroundColourView(root);
    m_errorView->setIdentifier(QStringLiteral("errorView"));
    m_errorView->setBackgroundColour(Color(0.93, 0.27, 0.27));
    m_errorLabel = new TextField(m_errorView);
    m_errorLabel->setTextColor(Color::white());
    m_errorLabel->setFont(systemFont(12));
    m_errorPrimaryButton = makeButton(m_errorView, QString(), QStringLiteral("errorPrimaryButton"), [this] { errorPrimaryAction(); });
    m_errorSecondaryButton = makeButton(m_errorView, QString(), QStringLiteral("errorSecondaryButton"), [this] { errorSecondaryAction(); });

    m_photographerHyperLink = new PLRHyperLinkView(root);
    m_photographerHyperLink->setIdentifier(QStringLiteral("photographerHyperLink"));
    m_photographerHyperLink->setFontSize(11.0);

    m_closeButton = makeButton(root, QStringLiteral("\u2715"), QStringLiteral("closeButton"), [this] { closeWindowAction(); });
    m_closeButton->setBordered(false);
    setShowCloseButton(m_showCloseButton);

    root->onLayout = [this] { relayout(); };
    return root;
}

void PLRModalViewController::viewDidLoad()
{
    m_errorTop = kErrorHiddenTop;
    m_errorView->setAlphaValue(0.0);
    // Out of sight, the error bar is hidden too: its buttons take neither Tab nor Return.
    m_errorView->setHidden(true);
    m_coverView->setHidden(true);
    m_secondaryImageView->setAlphaValue(0.0);
    relayout();
}

void PLRModalViewController::relayout()
{
    if (!isViewLoaded())
        return;
    const QRectF b = view()->bounds();
    const bool large = m_currentView && m_currentView->requireLargeView();
    // A dialog narrower than the picture and the page (a small screen) narrows the picture: it
    // shows the picture's top right part at the picture's own size, never squeezed.
    const double pictureWidth = std::clamp(b.width() - kPageWidth, 0.0, kPictureWidth);
    const double pictureHeight = std::max(b.height(), kNormalContainerHeight + kControlBarHeight);
    for (ImageView* picture : {m_primaryImageView.data(), m_secondaryImageView.data()})
        picture->setFrame(QRectF(pictureWidth - kPictureWidth, b.height() - pictureHeight, kPictureWidth, pictureHeight));
    m_photographerHyperLink->setFrame(QRectF(16, 12, std::max(0.0, pictureWidth - 32), 18));
    const double pageWidth = b.width() - pictureWidth;
    const double controlHeight = large ? 0.0 : kControlBarHeight;
    m_controlView->setFrame(QRectF(pictureWidth, 0, pageWidth, kControlBarHeight));
    m_containerView->setFrame(QRectF(pictureWidth, controlHeight, pageWidth, std::max(0.0, b.height() - controlHeight)));
    const QRectF inner = m_containerView->bounds();
    // While the error bar is in, the page moves down below it, so the bar never hides the page's
    // heading or its first fields.
    const double errorHeight = 56.0;
    const double errorRoom = std::clamp(m_errorTop + errorHeight, 0.0, inner.height());
    m_pageScrollView->setGeometry(m_containerView->toQt(QRectF(inner.x(), inner.y(), inner.width(), inner.height() - errorRoom)).toRect());
    pinPageToContent();
    m_coverView->setFrame(inner);
    m_spinnerView->setFrame(QRectF(inner.width() / 2 - 24, inner.height() / 2, 48, 48));
    m_coverLabel->setFrame(QRectF(20, inner.height() / 2 - 40, inner.width() - 40, 24));
    // Buttons right to left: primary, secondary, then the third on the left.
    m_primaryButton->setFrame(QRectF(pageWidth - 20 - 120, 16, 120, 32));
    m_secondaryButton->setFrame(QRectF(pageWidth - 20 - 120 - 12 - 100, 16, 100, 32));
    m_tertiaryButton->setFrame(QRectF(20, 16, 120, 32));
    // The error bar hangs errorTop points below the page's top edge (negative: out of sight); it
    // stops short of the close button, which stays in reach. Its message takes the width the
    // shown error buttons leave.
    const double errorWidth = std::max(0.0, pageWidth - 20 - (16 + 30 + 8));
    m_errorView->setFrame(QRectF(pictureWidth + 20, b.height() - m_errorTop - errorHeight, errorWidth, errorHeight));
    double buttonsRight = errorWidth - 12;
    for (Button* button : {m_errorSecondaryButton.data(), m_errorPrimaryButton.data()}) {
        if (button->isHidden())
            continue;
        button->setFrame(QRectF(buttonsRight - 90, 12, 90, 32));
        buttonsRight -= 90 + 8;
    }
    m_errorLabel->setFrame(QRectF(12, 8, std::max(0.0, buttonsRight - 12), 40));
    m_closeButton->setFrame(QRectF(b.width() - 16 - 30, b.height() - 18 - 30, 30, 30));
}

void PLRModalViewController::pinPageToContent()
{
    // The page fills the content view, which is as tall as the area shows or as the page needs
    // at its width (its layout's minimum), whichever is more.
    int needed = 0;
    for (QWidget* page : m_contentView->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        auto* v = qobject_cast<View*>(page);
        if (!v)
            continue;
        v->setFrame(m_contentView->bounds()); // pinned to the content view's four edges
        if (QLayout* layout = v->isHidden() ? nullptr : v->layout())
            needed = std::max({needed, layout->totalMinimumSize().height(),
                               layout->hasHeightForWidth() ? layout->totalHeightForWidth(m_contentView->width()) : 0});
    }
    if (m_contentView->minimumHeight() != needed)
        m_contentView->setMinimumHeight(needed);
}

void PLRModalViewController::viewWillAppear()
{
    if (m_modalViews.empty())
        return;
    m_spinnerCoverActive = false;
    m_presentingError = false;
    moveToNewView(m_modalViews.front().get());
    sortSubviewsUsingViewTags(view(), {{QStringLiteral("secondaryImageView"), 1},
                                       {QStringLiteral("primaryImageView"), 1},
                                       {QStringLiteral("closeButton"), 2},
                                       {QStringLiteral("photographerHyperLink"), 1000}});
}

void PLRModalViewController::moveToNextView()
{
    const qint64 index = currentIndex();
    if (index < 0 || index + 1 >= qint64(m_modalViews.size()))
        return;
    moveToNewView(m_modalViews[size_t(index + 1)].get());
}

void PLRModalViewController::moveToPreviousView()
{
    const qint64 index = currentIndex();
    if (index <= 0)
        return;
    moveToNewView(m_modalViews[size_t(index - 1)].get());
}

void PLRModalViewController::moveToHomeView()
{
    stopSpinner();
    dismissError();
    if (m_homeViewIndex < 0 || m_homeViewIndex >= qint64(m_modalViews.size())) {
        PLR_LOG_WARN(QStringLiteral("The dialog has no page %1 to go home to").arg(m_homeViewIndex));
        return;
    }
    moveToNewView(m_modalViews[size_t(m_homeViewIndex)].get());
}

void PLRModalViewController::moveToNewView(PLRModalView* next)
{
    view(); // loaded
    bool oldLarge = false;
    if (PLRModalPanelViewController* old = currentController()) {
        old->viewWillBecomeInactive(this);
        if (old->isViewLoaded())
            PLRViewController::removeFromSuperview(old->view());
    }
    if (m_currentView)
        oldLarge = m_currentView->requireLargeView();

    m_currentView = next;
    updatePhotographerCredit();
    const bool large = next->requireLargeView();
    m_containerHeight = large ? next->preferredHeightWhenInLargeView() : kNormalContainerHeight;
    if (large != oldLarge)
        resizeWindowForPage(next);
    m_controlView->setHidden(large);

    // The pictures cross-fade into the view that is not current.
    ImageView* incoming = m_currentImageView == m_primaryImageView.data() ? m_secondaryImageView.data()
                                                                            : m_primaryImageView.data();
    ImageView* outgoing = incoming == m_primaryImageView.data() ? m_secondaryImageView.data() : m_primaryImageView.data();
    if (!m_currentImageView)
        incoming = m_primaryImageView, outgoing = m_secondaryImageView;
    incoming->setImage(next->image());
    m_currentImageView = incoming;
    PLRAnimationContext::runAnimationGroup([incoming, outgoing](PLRAnimationContext& context) {
        context.setDuration(1.2);
        PLRAnimationContext::animateAlpha(incoming, 1.0);
        PLRAnimationContext::animateAlpha(outgoing, 0.0);
    });

    if (PLRModalPanelViewController* page = next->viewController()) {
        page->setModalViewController(this);
        page->setRepresentedData(m_representedData);
        View* pageView = page->view();
        pageView->setParent(m_contentView);
        pageView->setFrame(m_contentView->bounds());
        pageView->show();
        pageView->lower();
        m_coverView->raise();
        page->viewWillBecomeActive(this);
    }
    relayout();
    leaveCompletionCover();
    updateButtonTitlesAndVisibility();
    giveKeyboardToPage();
}

void PLRModalViewController::giveKeyboardToPage()
{
    m_keyboardFallback = nullptr;
    PLRModalPanelViewController* page = currentController();
    QWidget* root = view();
    QWidget* pageView = page && page->isViewLoaded() ? page->view() : nullptr;
    auto usable = [root](QWidget* widget) {
        return widget && (widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled() && widget->isVisibleTo(root);
    };
    // A page that put the keyboard on one of its controls itself keeps it there.
    QWidget* current = root->window()->focusWidget();
    if (pageView && current && pageView->isAncestorOf(current) && usable(current))
        return;
    // Never the dialog's own parts (the picture's credit link, the error bar out of sight):
    // the page's first field in Tab order (its links to help pages are not where work starts),
    // else its main button.
    auto isLink = [](QWidget* widget) {
        return qobject_cast<PLRLinkButton*>(widget) || qobject_cast<Pellora_Publish::PLRLinkButton*>(widget)
            || qobject_cast<PLRHyperLinkView*>(widget);
    };
    QWidget* target = nullptr;
    if (pageView) {
        int steps = 0;
        for (QWidget* widget = pageView->nextInFocusChain(); widget && widget != pageView && steps < 10000;
             widget = widget->nextInFocusChain(), ++steps)
            if (pageView->isAncestorOf(widget) && usable(widget) && !isLink(widget)) {
                target = widget;
                break;
            }
    }
    if (!target && usable(m_primaryButton))
        target = m_primaryButton;
    // A page still loading (its controls hidden, its main button off): the other button holds
    // the keyboard until the page is ready.
    if (!target && usable(m_secondaryButton))
        target = m_keyboardFallback = m_secondaryButton.data();
    if (target)
        target->setFocus(Qt::OtherFocusReason);
}

void PLRModalViewController::keyboardBackToPage()
{
    // From the event loop, once the page has finished showing what it loaded.
    QMetaObject::invokeMethod(this, [self = QPointer<PLRModalViewController>(this)] {
        if (!self || !self->isViewLoaded())
            return;
        QWidget* focus = self->view()->window()->focusWidget();
        const bool errorBarAway = !self->m_presentingError;
        const bool misplaced = !focus || focus == self->m_photographerHyperLink.data()
            || (errorBarAway && (focus == self->m_errorPrimaryButton.data() || focus == self->m_errorSecondaryButton.data()))
            || (self->m_keyboardFallback && focus == self->m_keyboardFallback);
        if (misplaced)
            self->giveKeyboardToPage();
    }, Qt::QueuedConnection);
}

void PLRModalViewController::resizeWindowForPage(PLRModalView* page)
{
    Window* window = view()->platformWindow();
    const bool large = page->requireLargeView();
    QSizeF pageSize(kPageWidth, large ? page->preferredHeightWhenInLargeView() : kNormalContainerHeight + kControlBarHeight);
    if (PLRModalPanelViewController* controller = page->viewController(); controller && large) {
        const QSizeF own = controller->view()->frame().size();
        if (own.width() > 0)
            pageSize.setWidth(own.width());
    }
    const QSizeF size(pageSize.width() + kPictureWidth, pageSize.height());
    if (!window) {
        view()->resize(size.toSize());
        return;
    }
    // Centred on the screen's free area; the window is fitted to it (a lower one scrolls the page).
    QRectF screen(0, 0, 1440, 900);
    if (const QRect free = screenFreeArea(window); !free.isEmpty())
        screen = Window::screenRectFromQt(QRectF(free));
    QSizeF frame = Window::frameRectForContentRect(QRectF(QPointF(), size), window->styleMask()).size();
    frame = frame.boundedTo(screen.size());
    const QPointF origin(screen.x() + screen.width() / 2 - frame.width() / 2,
                         screen.y() + screen.height() / 2 - frame.height() / 2);
    window->setFrame(QRectF(origin, frame), true);
}

void PLRModalViewController::updatePhotographerCredit()
{
    PLRHyperLinkView* link = m_photographerHyperLink;
    link->setTextAlignment(TextAlignment::Left);
    const QString credit = m_currentView->imageCredit();
    link->setStringValue(QStringLiteral("Image by %1").arg(credit));
    link->setLinkTitle(credit);
    link->setLinkURL(m_currentView->imageCreditURL().toString());
    link->setTitleColor(m_currentView->imageCreditIsDark() ? Color::black() : Color::white());
    link->setHidden(credit.isEmpty());
    link->update();
}

void PLRModalViewController::updateButtonTitlesAndVisibility()
{
    PLRModalPanelViewController* page = currentController();
    const bool showPrimary = page ? page->shouldPresentPrimaryAction(this) : true;
    const bool showSecondary = page ? page->shouldPresentSecondaryAction(this) : true;
    const bool showTertiary = page ? page->shouldPresentTertiaryAction(this) : false;
    if (page) {
        if (auto title = page->titleForPrimaryAction(this); showPrimary && title)
            m_primaryButton->setTitle(*title);
        if (auto title = page->titleForSecondaryAction(this); showSecondary && title)
            m_secondaryButton->setTitle(*title);
        if (auto title = page->titleForTertiaryAction(this); showTertiary && title)
            m_tertiaryButton->setTitle(*title);
        if (auto defaultTitle = page->defaultModalButtonActionTitle(this))
            for (Button* button : {m_primaryButton.data(), m_secondaryButton.data(), m_tertiaryButton.data()})
                button->setKeyEquivalent(button->title() == *defaultTitle ? QStringLiteral("\r") : QString());
    }
    m_primaryButton->setHidden(!showPrimary);
    m_secondaryButton->setHidden(!showSecondary);
    m_tertiaryButton->setHidden(!showTertiary);
}

void PLRModalViewController::startSpinner(const QString& text)
{
    view();
    m_coverLabel->setStringValue(text);
    if (m_spinnerCoverActive)
        return;
    m_spinnerCoverActive = true;
    m_coverView->setBackgroundColour(Color::white(0.7));
    m_coverView->setHidden(false);
    m_coverView->raise();
    m_spinnerView->startAnimating();
}

void PLRModalViewController::stopSpinner()
{
    if (!m_spinnerCoverActive && !m_completionCoverActive)
        return;
    m_spinnerCoverActive = false;
    m_spinnerView->stopAnimating(false);
    leaveCompletionCover();
    m_coverView->setHidden(true);
    if (PLRModalPanelViewController* page = currentController(); page && page->isViewLoaded())
        page->view()->setHidden(false);
    keyboardBackToPage();
}

void PLRModalViewController::presentCompletionCover(const QString& message, const std::optional<QString>& primaryButtonTitle)
{
    view();
    if (m_spinnerCoverActive)
        m_spinnerView->stopAnimating(true);
    m_coverView->setBackgroundColour(Color::white());
    m_coverLabel->setStringValue(message);
    m_coverView->setHidden(false);
    m_coverView->raise();
    if (primaryButtonTitle)
        m_primaryButton->setTitle(*primaryButtonTitle);
    m_primaryButton->setEnabled(true);
    m_primaryButton->setHidden(false);
    m_secondaryButton->setHidden(true);
    // The cover's button is the one left to press: it takes Return and the keyboard, wherever the
    // keyboard went while the page worked (a field hidden under the cover, the main button while
    // it was off). The page's controls under the cover are out of reach until it goes.
    if (!m_completionCoverActive) {
        m_completionCoverActive = true;
        m_keyEquivalentsBeforeCover.clear();
        for (Button* button : {m_primaryButton.data(), m_secondaryButton.data(), m_tertiaryButton.data()})
            m_keyEquivalentsBeforeCover.push_back(button->keyEquivalent());
    }
    for (Button* button : {m_secondaryButton.data(), m_tertiaryButton.data()})
        if (button->keyEquivalent() == QLatin1String("\r"))
            button->setKeyEquivalent(QString());
    m_primaryButton->setKeyEquivalent(QStringLiteral("\r"));
    if (PLRModalPanelViewController* page = currentController(); page && page->isViewLoaded())
        page->view()->setHidden(true);
    m_primaryButton->setFocus(Qt::OtherFocusReason);
}

void PLRModalViewController::leaveCompletionCover()
{
    if (!m_completionCoverActive)
        return;
    m_completionCoverActive = false;
    Button* const buttons[] = {m_primaryButton.data(), m_secondaryButton.data(), m_tertiaryButton.data()};
    for (size_t i = 0; i < size_t(m_keyEquivalentsBeforeCover.size()) && i < std::size(buttons); ++i)
        buttons[i]->setKeyEquivalent(m_keyEquivalentsBeforeCover[int(i)]);
    m_keyEquivalentsBeforeCover.clear();
}

void PLRModalViewController::presentError(const QString& message, const std::optional<QString>& primaryLabel,
                                          const std::optional<QString>& secondaryLabel)
{
    view();
    m_errorLabel->setStringValue(message);
    m_errorPrimaryButton->setTitle(primaryLabel.value_or(QString()));
    m_errorPrimaryButton->setHidden(!primaryLabel);
    m_errorSecondaryButton->setTitle(secondaryLabel.value_or(QString()));
    m_errorSecondaryButton->setHidden(!secondaryLabel);
    m_errorTop = kErrorShownTop;
    m_errorView->setHidden(false);
    m_errorView->raise();
    PLRAnimationContext::runAnimationGroup([this](PLRAnimationContext& context) {
        context.setDuration(0.25);
        context.setTimingFunction(TimingFunction::easeIn());
        PLRAnimationContext::animateAlpha(m_errorView, 1.0);
        relayout();
    });
    updateButtonTitlesAndVisibility();
    m_presentingError = true;
}

void PLRModalViewController::dismissError()
{
    if (!m_presentingError)
        return;
    m_errorTop = kErrorHiddenTop;
    PLRAnimationContext::runAnimationGroup([this](PLRAnimationContext& context) {
        context.setDuration(0.35);
        context.setTimingFunction(TimingFunction::easeOut());
        PLRAnimationContext::animateAlpha(m_errorView, 0.0);
        relayout();
    }, [self = QPointer<PLRModalViewController>(this)] {
        if (self && !self->m_presentingError)
            self->m_errorView->setHidden(true);
    });
    m_presentingError = false;
}

void PLRModalViewController::setPrimaryEnabled(bool enabled)
{
    view();
    m_primaryButton->setEnabled(enabled);
    if (enabled)
        keyboardBackToPage();
}
void PLRModalViewController::setSecondaryEnabled(bool enabled) { view(); m_secondaryButton->setEnabled(enabled); }
void PLRModalViewController::setTertiaryEnabled(bool enabled) { view(); m_tertiaryButton->setEnabled(enabled); }

void PLRModalViewController::dismissModalWithSuccess(bool success)
{
    Application::stopModal(success ? kModalResponseContinue : kModalResponseStop);
    if (isViewLoaded())
        if (Window* window = view()->platformWindow())
            window->close();
}

void PLRModalViewController::closeWindowAction()
{
    Application::stopModal(kModalResponseAbort);
    if (isViewLoaded())
        if (Window* window = view()->platformWindow())
            window->close();
}

void PLRModalViewController::primaryAction()
{
    if (PLRModalPanelViewController* page = currentController())
        page->primaryActionWasSelected(this);
}

void PLRModalViewController::secondaryAction()
{
    if (PLRModalPanelViewController* page = currentController())
        page->secondaryActionWasSelected(this);
}

void PLRModalViewController::tertiaryAction()
{
    if (PLRModalPanelViewController* page = currentController())
        page->tertiaryActionWasSelected(this);
}

void PLRModalViewController::errorPrimaryAction()
{
    if (PLRModalPanelViewController* page = currentController())
        page->primaryActionForErrorWasClicked(this);
}

void PLRModalViewController::errorSecondaryAction()
{
    if (PLRModalPanelViewController* page = currentController())
        page->secondaryActionForErrorWasClicked(this);
}
