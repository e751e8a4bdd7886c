#pragma once

// The pages of a multi-step modal dialog. A page is two objects:
// - a descriptor (subclass of PLRModalView): its picture, the picture's credit, whether it needs
//   the large size, and its controller, made once on first request;
// - a controller (subclass of PLRModalPanelViewController): the page's view and its answers to
//   the dialog (button titles and presence, button and error-bar clicks, becoming active).
// Descriptors are made by name: register a factory with PLRModalView::registerPage under the
// name callers pass to PLRModalManager (e.g. "PLRModalPublishTypeView").

#include "platform-ui/PLRViewController.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class PLRModalViewController;
class PLRModalPanelViewController;

class PLRModalView {
public:
    virtual ~PLRModalView();

    virtual QImage image() const { return {}; }
    virtual bool imageCreditIsDark() const { return false; }
    virtual QString imageCredit() const { return {}; }
    virtual QUrl imageCreditURL() const { return {}; }
    virtual bool requireLargeView() const { return false; }
    virtual double preferredHeightWhenInLargeView() const { return 785.0; }

    // The page's controller: made on first request (makeViewController), the same object after.
    PLRModalPanelViewController* viewController();

    // Descriptors by name.
    using Factory = std::function<std::unique_ptr<PLRModalView>()>;
    static void registerPage(const QString& className, Factory factory);
    static bool hasPage(const QString& className);
    // A new descriptor, or null when nothing is registered under the name.
    static std::unique_ptr<PLRModalView> make(const QString& className);

protected:
    // Makes the page's controller (null: the page shows nothing and answers nothing).
    virtual std::unique_ptr<PLRModalPanelViewController> makeViewController() { return nullptr; }

private:
    std::unique_ptr<PLRModalPanelViewController> m_viewController;
    bool m_made = false;
};

// The base of page controllers; also the protocol through which the dialog talks to them.
// Every call is optional: the defaults are what a page that does not answer gets.
class PLRModalPanelViewController : public PLRViewController {
    Q_OBJECT
public:
    explicit PLRModalPanelViewController(QObject* parent = nullptr);

    // Set by the dialog before the page becomes active.
    PLRModalViewController* modalViewController() const;
    void setModalViewController(PLRModalViewController* controller);
    QVariantMap representedData() const { return m_representedData; }
    void setRepresentedData(const QVariantMap& data) { m_representedData = data; }

    virtual void viewWillBecomeActive(PLRModalViewController*) {}
    virtual void viewWillBecomeInactive(PLRModalViewController*) {}
    virtual void primaryActionWasSelected(PLRModalViewController*) {}
    virtual void secondaryActionWasSelected(PLRModalViewController*) {}
    virtual void tertiaryActionWasSelected(PLRModalViewController*) {}

    // Which buttons show (primary and secondary by default, the third not).
    virtual bool shouldPresentPrimaryAction(PLRModalViewController*) { return true; }
    virtual bool shouldPresentSecondaryAction(PLRModalViewController*) { return true; }
    virtual bool shouldPresentTertiaryAction(PLRModalViewController*) { return false; }
    // Button titles; none keeps the button's current title.
    virtual std::optional<QString> titleForPrimaryAction(PLRModalViewController*) { return std::nullopt; }
    virtual std::optional<QString> titleForSecondaryAction(PLRModalViewController*) { return std::nullopt; }
    virtual std::optional<QString> titleForTertiaryAction(PLRModalViewController*) { return std::nullopt; }
    // The title of the button Return presses; none leaves the key equivalents alone.
    virtual std::optional<QString> defaultModalButtonActionTitle(PLRModalViewController*) { return std::nullopt; }
    // The error bar's two buttons.
    virtual void primaryActionForErrorWasClicked(PLRModalViewController*) {}
    virtual void secondaryActionForErrorWasClicked(PLRModalViewController*) {}

private:
    QPointer<PLRModalViewController> m_modalViewController;
    QVariantMap m_representedData;
};
